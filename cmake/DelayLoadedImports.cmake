# The system DLLs the Windows flavour uses that are not KnownDLLs (winhttp, bcrypt, crypt32,
# wintrust, dwmapi) are linked through delay-import libraries. The loader resolves an ordinary
# import at start, searching the program's own folder first, and the program runs elevated
# from wherever it was saved (usually Downloads): a DLL of that name planted beside it would be
# loaded with administrator rights. Delay-loaded, a DLL is loaded at its first call, after the
# program has limited the search to System32 (SetDefaultDllDirectories, first thing in WinMain).
#
# Each library is made at configure time from mingw-w64's own import library: its __imp_
# symbols name the exports, dlltool writes the delay-import library. Targets then link
# vlm::<name> instead of <name>.

find_program(VLM_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)

function(vlm_delay_loaded_import name dll)
  find_library(import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
  execute_process(COMMAND ${CMAKE_NM} --defined-only ${import_${name}}
                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "__imp_[A-Za-z0-9_@]+" imports "${symbols}")
  list(REMOVE_DUPLICATES imports)
  list(TRANSFORM imports REPLACE "^__imp_" "")
  if(NOT imports)
    message(FATAL_ERROR "No exports found in ${import_${name}}")
  endif()
  set(folder ${CMAKE_BINARY_DIR}/delay-imports)
  file(MAKE_DIRECTORY ${folder})
  list(JOIN imports "\n  " exports)
  file(WRITE ${folder}/${name}.def "LIBRARY ${dll}\nEXPORTS\n  ${exports}\n")
  execute_process(COMMAND ${VLM_DLLTOOL} --input-def ${folder}/${name}.def --dllname ${dll}
                          --output-delaylib ${folder}/lib${name}-delay.a
                  COMMAND_ERROR_IS_FATAL ANY)
  add_library(vlm::${name} INTERFACE IMPORTED GLOBAL)
  set_target_properties(vlm::${name} PROPERTIES
                        INTERFACE_LINK_LIBRARIES ${folder}/lib${name}-delay.a)
endfunction()

vlm_delay_loaded_import(winhttp winhttp.dll)
vlm_delay_loaded_import(bcrypt bcrypt.dll)
vlm_delay_loaded_import(crypt32 crypt32.dll)
vlm_delay_loaded_import(wintrust wintrust.dll)
vlm_delay_loaded_import(dwmapi dwmapi.dll)
