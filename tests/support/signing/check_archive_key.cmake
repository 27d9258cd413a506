# cmake -DKEY=<pem file or base64> -P check_archive_key.cmake: the configure step's check of
# VLM_ARCHIVE_KEY on its own, for the tests (a bad key ends in its FATAL_ERROR message).
set(CMAKE_BINARY_DIR "${CMAKE_CURRENT_BINARY_DIR}")
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/ArchiveTrust.cmake)
_vlm_archive_key_hex("${KEY}" hex)
message(STATUS "key ${hex}")
