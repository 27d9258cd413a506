# Writes a C++ source holding the icon PNGs as byte arrays (see app_icons.h).
# Usage: include() with EMBED_LARGE, EMBED_SMALL and EMBED_OUTPUT set.
function(vlm_embed_bytes file symbol out_var)
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  set(${out_var}
      "extern const unsigned char ${symbol}[] = {${bytes}};\nextern const size_t ${symbol}Size = ${size};\n"
      PARENT_SCOPE)
endfunction()

vlm_embed_bytes("${EMBED_LARGE}" kLargeIconPng large_text)
vlm_embed_bytes("${EMBED_SMALL}" kSmallIconPng small_text)
file(WRITE "${EMBED_OUTPUT}.tmp" "// Generated from res/icons; do not edit.\n#include \"app/app_icons.h\"\n\n${large_text}${small_text}")
file(COPY_FILE "${EMBED_OUTPUT}.tmp" "${EMBED_OUTPUT}" ONLY_IF_DIFFERENT)
