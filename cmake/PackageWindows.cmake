# Lays out and zips the Windows package (cmake -P):
#   -DPROGRAM=<quillfetch.exe> -DLOADER=<WebView2Loader.dll> -DLICENSE=<its licence>
#   -DUI=<page folder> -DREADME=<vendor readme> -DSTRIP=<strip tool, may be empty>
#   -DOUTPUT=<zip file>
# The program is stripped of its debugging information; everything else is copied as it is.
foreach(input PROGRAM LOADER LICENSE UI README OUTPUT)
  if(NOT DEFINED ${input} OR "${${input}}" STREQUAL "")
    message(FATAL_ERROR "PackageWindows.cmake: ${input} is not set")
  endif()
endforeach()

get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
set(stage "${OUTPUT}.stage")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}" "${output_dir}")
file(COPY "${PROGRAM}" "${LOADER}" DESTINATION "${stage}")
file(COPY "${LICENSE}" DESTINATION "${stage}")
file(RENAME "${stage}/LICENSE.txt" "${stage}/WebView2Loader.LICENSE.txt")
file(COPY "${README}" DESTINATION "${stage}")
file(COPY "${UI}/" DESTINATION "${stage}/UI")
if(STRIP)
  execute_process(COMMAND "${STRIP}" --strip-debug "${stage}/quillfetch.exe"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()

file(REMOVE "${OUTPUT}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${OUTPUT}" --format=zip
                        quillfetch.exe WebView2Loader.dll WebView2Loader.LICENSE.txt README.txt UI
                WORKING_DIRECTORY "${stage}" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${stage}")
file(SIZE "${OUTPUT}" size)
message(STATUS "Package: ${OUTPUT} (${size} bytes)")
