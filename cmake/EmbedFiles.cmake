# Writes a C++ source holding files as byte arrays, looked up by resource id:
#   cmake -DOUTPUT=out.cpp -DENTRIES="101=path;102=path" -P EmbedFiles.cmake
# Run at build time, so the source follows the files it embeds.
set(body "")
set(cases "")
foreach(entry ${ENTRIES})
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 id)
  list(GET parts 1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND body "const unsigned char kImage${id}[${size}] = {\n${bytes}\n};\n\n")
  string(APPEND cases "        case ${id}: *data = kImage${id}; *size = sizeof(kImage${id}); return true;\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from the editor's images by cmake/EmbedFiles.cmake; do not edit.
#include \"graphics/EmbeddedImages.h\"

namespace {

${body}}  // namespace

bool FindEmbeddedImage(int resourceId, const unsigned char** data, std::size_t* size) {
    switch (resourceId) {
${cases}        default: return false;
    }
}
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
