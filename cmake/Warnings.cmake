# Compiler settings shared by every target of the project.
add_library(vlm_options INTERFACE)
target_compile_options(vlm_options INTERFACE -Wall -Wextra -Wpedantic)
# clang (the fuzz build) has no -Wshadow=local and rejects it under -Werror.
target_compile_options(vlm_options INTERFACE $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
if(VLM_WERROR)
  target_compile_options(vlm_options INTERFACE -Werror)
endif()
if(VLM_SANITIZE)
  target_compile_options(vlm_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                               -fno-sanitize-recover=undefined)
  target_link_options(vlm_options INTERFACE -fsanitize=address,undefined)
endif()
if(VLM_FUZZ)
  target_compile_options(vlm_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(vlm_options INTERFACE -fsanitize=address,undefined)
endif()
