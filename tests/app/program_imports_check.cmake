# The program's ordinary import table names only KnownDLLs: the DLLs Windows always loads from
# System32, whatever lies beside the program. Any other DLL would be looked up in the program's
# own folder (usually Downloads) before the program could limit the search, and loaded with
# administrator rights. Delay-loaded imports are not in this table.
#
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<quillfetch.exe> -P program_imports_check.cmake
cmake_minimum_required(VERSION 3.20)
set(known_dlls advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32
    kernel32 msctf msvcrt normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore
    shell32 shlwapi user32 wldap32 ws2_32)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
string(FIND "${dump}" "The Import Tables" start)
if(start EQUAL -1)
  message(FATAL_ERROR "No import tables in ${PROGRAM}")
endif()
string(SUBSTRING "${dump}" ${start} -1 dump)
# The import tables end where the next section of the dump begins.
string(REGEX REPLACE "\n(The Export Tables|The Function Table|PE File Base Relocations|Delay Import).*" "" dump "${dump}")
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
if(NOT names)
  message(FATAL_ERROR "No imported DLLs found in ${PROGRAM}")
endif()
set(unknown)
foreach(line IN LISTS names)
  string(REGEX REPLACE "DLL Name: ([^.]+)\\.dll" "\\1" dll "${line}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll IN_LIST known_dlls)
    list(APPEND unknown ${dll})
  endif()
endforeach()
if(unknown)
  message(FATAL_ERROR "Imports that are not KnownDLLs: ${unknown}")
endif()
message(STATUS "Imports: ${names}")
