# What a vendor builds into the program so that it runs only what the vendor signed:
#
#   VLM_ARCHIVE_KEY      an ECDSA P-256 public key: a PEM file ("-----BEGIN PUBLIC KEY-----") or
#                        its base64 text. Every downloaded archive must then carry a signature
#                        that this key verifies, and the UI folder a manifest signed with it
#                        (scripts/sign-archive). Empty: neither is verified (as before).
#   VLM_SETUP_PUBLISHER  Windows only: the name the setup program's Authenticode signer must
#                        have. Empty: the setup program's signature is not checked.
#   VLM_UI_PRODUCT       with a key: the product the signed page's manifest must name
#   VLM_MIN_UI_VERSION   with a key: the lowest page version shown, e.g. "3" or "2.4"; an older
#                        signed page is refused as a changed one is. scripts/package-windows
#                        sets both from the page it signs. Empty: any signed page is shown.
#
# The key is checked here, at configure time: a text that is not a P-256 public key stops the
# configure step with a message saying what is wrong, rather than building a program that can
# verify nothing.
#
# vlm_built_in_trust(<target> [OBJECT] KEY <pem file or base64> PUBLISHER <name>
# [UI_PRODUCT <id>] [MIN_UI_VERSION <version>]) makes a library <target> that defines the
# functions of src/trust/built_in_trust.h from a generated header. The program's own is a static library made from the
# cache variables, which every target linking vlm_host gets. A test's keyed program links an
# OBJECT one of its own: an object on the link line defines both functions before the static
# library is searched, so the linker never takes the library's member.

set(VLM_ARCHIVE_KEY "" CACHE STRING
    "ECDSA P-256 public key that archives must be signed with (PEM file or its base64 text)")
set(VLM_SETUP_PUBLISHER "" CACHE STRING
    "Windows: the signer name the setup program's Authenticode signature must carry")
set(VLM_UI_PRODUCT "" CACHE STRING "The product the signed page's manifest must name")
set(VLM_MIN_UI_VERSION "" CACHE STRING "The lowest signed page version the program shows")

# The DER prefix of every SubjectPublicKeyInfo of a P-256 key with an uncompressed point:
# SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 04 ... } }.
set(_vlm_p256_spki_prefix "3059301306072a8648ce3d020106082a8648ce3d03010703420004")
find_program(VLM_OPENSSL_PROGRAM openssl)

# Standard base64 (RFC 4648, padded) to lower-case hex digits; an empty result for bad text.
function(_vlm_base64_to_hex text out_var)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  set(digits "0123456789abcdef")
  string(LENGTH "${text}" length)
  math(EXPR rest "${length} % 4")
  if(length EQUAL 0 OR NOT rest EQUAL 0 OR NOT text MATCHES "^[A-Za-z0-9+/]+(=|==)?$")
    set(${out_var} "" PARENT_SCOPE)
    return()
  endif()
  string(REGEX REPLACE "=+$" "" text "${text}")
  string(LENGTH "${text}" length)
  set(hex "")
  set(bits 0)
  set(buffer 0)
  math(EXPR last "${length} - 1")
  foreach(i RANGE 0 ${last})
    string(SUBSTRING "${text}" ${i} 1 c)
    string(FIND "${alphabet}" "${c}" value)
    math(EXPR buffer "(${buffer} << 6) | ${value}")
    math(EXPR bits "${bits} + 6")
    if(bits GREATER_EQUAL 8)
      math(EXPR bits "${bits} - 8")
      math(EXPR high "(${buffer} >> (${bits} + 4)) & 15")
      math(EXPR low "(${buffer} >> ${bits}) & 15")
      string(SUBSTRING "${digits}" ${high} 1 h)
      string(SUBSTRING "${digits}" ${low} 1 l)
      string(APPEND hex "${h}${l}")
      math(EXPR buffer "${buffer} & ((1 << ${bits}) - 1)")
    endif()
  endforeach()
  set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

# The key's DER bytes as hex digits, or a FATAL_ERROR naming what is wrong.
function(_vlm_archive_key_hex key out_var)
  set(text "${key}")
  set(origin "the text")
  if(EXISTS "${key}" AND NOT IS_DIRECTORY "${key}")
    file(READ "${key}" text)
    set(origin "the file ${key}")
    # A new key in the same file is picked up by the next build.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${key}")
  endif()
  if(text MATCHES "-----BEGIN ([A-Z ]+)-----")
    if(NOT CMAKE_MATCH_1 STREQUAL "PUBLIC KEY")
      message(FATAL_ERROR "VLM_ARCHIVE_KEY: ${origin} holds a \"${CMAKE_MATCH_1}\", not a "
                          "\"PUBLIC KEY\". Give the public half (scripts/sign-archive makes it).")
    endif()
    if(NOT text MATCHES "-----BEGIN PUBLIC KEY-----(.*)-----END PUBLIC KEY-----")
      message(FATAL_ERROR "VLM_ARCHIVE_KEY: ${origin} has no \"-----END PUBLIC KEY-----\" line.")
    endif()
    set(text "${CMAKE_MATCH_1}")
  endif()
  string(REGEX REPLACE "[ \t\r\n]" "" base64 "${text}")
  _vlm_base64_to_hex("${base64}" hex)
  if(hex STREQUAL "")
    message(FATAL_ERROR "VLM_ARCHIVE_KEY: ${origin} is neither a PEM public key file nor "
                        "base64 text.")
  endif()
  string(LENGTH "${hex}" hex_length)
  string(SUBSTRING "${hex}" 0 54 prefix)
  if(NOT hex_length EQUAL 182 OR NOT prefix STREQUAL _vlm_p256_spki_prefix)
    message(FATAL_ERROR "VLM_ARCHIVE_KEY: ${origin} is not an ECDSA P-256 public key with an "
                        "uncompressed point (91 bytes of DER). Make one with scripts/sign-archive.")
  endif()
  # Only the openssl program can tell a point on the curve from 64 random bytes.
  if(VLM_OPENSSL_PROGRAM)
    set(pem "${CMAKE_BINARY_DIR}/CMakeFiles/vlm-archive-key-check.pem")
    file(WRITE "${pem}" "-----BEGIN PUBLIC KEY-----\n${base64}\n-----END PUBLIC KEY-----\n")
    execute_process(COMMAND "${VLM_OPENSSL_PROGRAM}" pkey -pubin -in "${pem}" -pubcheck -noout
                    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
    file(REMOVE "${pem}")
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "VLM_ARCHIVE_KEY: ${origin} is shaped like a P-256 public key but its "
                          "point is not on the curve.")
    endif()
  endif()
  set(${out_var} "${hex}" PARENT_SCOPE)
endfunction()

function(vlm_built_in_trust target)
  cmake_parse_arguments(ARG "OBJECT" "KEY;PUBLISHER;UI_PRODUCT;MIN_UI_VERSION" "" ${ARGN})
  # The program's own rules (trust/release_manifest.h), so that no build asks for what no
  # signed page can be.
  if(NOT "${ARG_UI_PRODUCT}" STREQUAL "" AND
     NOT ARG_UI_PRODUCT MATCHES "^[A-Za-z0-9][A-Za-z0-9._-]*$")
    message(FATAL_ERROR "VLM_UI_PRODUCT: letters, digits, . _ -, starting with a letter or "
                        "digit; not \"${ARG_UI_PRODUCT}\".")
  endif()
  if(NOT "${ARG_MIN_UI_VERSION}" STREQUAL "" AND
     NOT ARG_MIN_UI_VERSION MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "VLM_MIN_UI_VERSION: 1 to 4 numbers separated by dots, such as 2.4; "
                        "not \"${ARG_MIN_UI_VERSION}\".")
  endif()
  if("${ARG_KEY}" STREQUAL "" AND
     NOT "${ARG_UI_PRODUCT}${ARG_MIN_UI_VERSION}" STREQUAL "")
    message(FATAL_ERROR "VLM_UI_PRODUCT and VLM_MIN_UI_VERSION need VLM_ARCHIVE_KEY: without a "
                        "key no page is signed.")
  endif()
  set(bytes "")
  set(count 0)
  if(NOT "${ARG_KEY}" STREQUAL "")
    _vlm_archive_key_hex("${ARG_KEY}" hex)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    set(count 91)
  endif()
  string(REPLACE "\\" "\\\\" publisher "${ARG_PUBLISHER}")
  string(REPLACE "\"" "\\\"" publisher "${publisher}")
  set(folder "${CMAKE_BINARY_DIR}/generated/${target}")
  file(CONFIGURE OUTPUT "${folder}/built_in_trust_data.h" CONTENT
"// Generated by cmake/ArchiveTrust.cmake; do not edit.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::array<uint8_t, ${count}> kBuiltInArchiveKey{${bytes}};
inline constexpr char kBuiltInSetupPublisher[] = \"${publisher}\";
inline constexpr char kBuiltInUiProduct[] = \"${ARG_UI_PRODUCT}\";
inline constexpr char kBuiltInMinUiVersion[] = \"${ARG_MIN_UI_VERSION}\";
")
  if(ARG_OBJECT)
    add_library(${target} OBJECT ${PROJECT_SOURCE_DIR}/src/trust/built_in_trust.cpp)
  else()
    add_library(${target} STATIC ${PROJECT_SOURCE_DIR}/src/trust/built_in_trust.cpp)
  endif()
  target_include_directories(${target} PRIVATE "${folder}" ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PRIVATE vlm_options)
endfunction()

if(NOT WIN32 AND NOT VLM_SETUP_PUBLISHER STREQUAL "")
  message(FATAL_ERROR "VLM_SETUP_PUBLISHER: the setup program's signer is checked by the Windows "
                      "flavour only; leave it empty for this build.")
endif()
if(NOT VLM_ARCHIVE_KEY STREQUAL "")
  message(STATUS "Archives must be signed with the key from VLM_ARCHIVE_KEY")
endif()
