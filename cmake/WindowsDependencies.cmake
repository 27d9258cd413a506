# Third-party code of the Windows flavour. Everything is linked statically, so the program and
# the tests need no DLL from the toolchain (Wine would look for libstdc++-6.dll otherwise).
#
#   zlib         Debian's mingw package (libz-mingw-w64-dev), the static library by name: the
#                import library would make the program need zlib1.dll
#   libzip       Debian's source package, built by scripts/build-windows-deps into VLM_WINDOWS_DEPS
#   codecs       zstd, liblzma and bzip2 from Debian's source packages, built the same way
#   nlohmann     the header-only library of the build machine, through a folder that holds only it
#   GoogleTest   Debian's sources (/usr/src/googletest), built here with the project
set(VLM_WINDOWS_DEPS "${PROJECT_SOURCE_DIR}/build/deps" CACHE PATH
    "Where scripts/build-windows-deps puts the Windows libraries")

add_link_options(-static)
# Windows 10 is the oldest system the program supports.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE NOMINMAX
                        WIN32_LEAN_AND_MEAN)

set(ZLIB_LIBRARY "${CMAKE_FIND_ROOT_PATH}/lib/libz.a" CACHE FILEPATH "" FORCE)
set(ZLIB_INCLUDE_DIR "${CMAKE_FIND_ROOT_PATH}/include" CACHE PATH "" FORCE)
find_package(ZLIB REQUIRED)

set(libzip_prefix "${VLM_WINDOWS_DEPS}/libzip-1.7.3-x86_64-w64-mingw32")
if(NOT EXISTS "${libzip_prefix}/.complete")
  message(FATAL_ERROR "libzip for Windows is missing from ${VLM_WINDOWS_DEPS}: "
                      "run scripts/build-windows-deps ${VLM_WINDOWS_DEPS}")
endif()
find_package(libzip 1.7.3 EXACT REQUIRED CONFIG PATHS "${libzip_prefix}" NO_DEFAULT_PATH
             NO_CMAKE_FIND_ROOT_PATH)
add_library(vlm_libzip INTERFACE)
target_link_libraries(vlm_libzip INTERFACE libzip::zip)
target_compile_definitions(vlm_libzip INTERFACE ZIP_STATIC)

# Keep the versions in step with scripts/build-windows-deps.
set(codecs_prefix
    "${VLM_WINDOWS_DEPS}/codecs-zstd1.5.4+dfsg2-5-xz5.4.1-1+deb12u1-bzip21.0.8-5-x86_64-w64-mingw32")
if(NOT EXISTS "${codecs_prefix}/.complete")
  message(FATAL_ERROR "The codec libraries for Windows are missing from ${VLM_WINDOWS_DEPS}: "
                      "run scripts/build-windows-deps ${VLM_WINDOWS_DEPS}")
endif()
add_library(vlm_codecs INTERFACE)
target_include_directories(vlm_codecs SYSTEM INTERFACE "${codecs_prefix}/include")
target_link_libraries(vlm_codecs INTERFACE "${codecs_prefix}/lib/libzstd.a"
                      "${codecs_prefix}/lib/liblzma.a" "${codecs_prefix}/lib/libbz2.a")
# The static libraries: no import declarations.
target_compile_definitions(vlm_codecs INTERFACE LZMA_API_STATIC)

# The JSON library is header-only: expose its folder alone, never the host's /usr/include.
set(json_include "${CMAKE_BINARY_DIR}/third_party/json/include")
file(MAKE_DIRECTORY "${json_include}")
file(COPY /usr/include/nlohmann DESTINATION "${json_include}")
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
                      INTERFACE_INCLUDE_DIRECTORIES "${json_include}")

if(VLM_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Its own CMake names the targets GTest::gtest, GTest::gmock and GTest::gtest_main.
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
endif()

# The web view SDK, restored by scripts/build-windows-deps at one pinned version: its header
# (through our compatibility folder, which mends what mingw cannot read as shipped) and the
# loader DLL that goes beside the program.
set(VLM_WEBVIEW2_VERSION 1.0.2903.40)
set(webview2_prefix "${VLM_WINDOWS_DEPS}/webview2-${VLM_WEBVIEW2_VERSION}")
if(NOT EXISTS "${webview2_prefix}/.complete")
  message(FATAL_ERROR "The web view SDK is missing from ${VLM_WINDOWS_DEPS}: "
                      "run scripts/build-windows-deps ${VLM_WINDOWS_DEPS}")
endif()
add_library(vlm_webview2_sdk INTERFACE)
target_include_directories(vlm_webview2_sdk SYSTEM INTERFACE
                           "${PROJECT_SOURCE_DIR}/third_party/compat" "${webview2_prefix}/include")
set(VLM_WEBVIEW2_LOADER "${webview2_prefix}/x64/WebView2Loader.dll")
set(VLM_WEBVIEW2_LICENSE "${webview2_prefix}/LICENSE.txt")
