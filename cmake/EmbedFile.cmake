# SPDX-License-Identifier: GPL-3.0-or-later
# Turns a data file into a C++ source that holds its bytes, so that a library can carry a picture
# without reading files at run time. Run in script mode:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=Name -P EmbedFile.cmake
# The source defines `extern const unsigned char Name[]` and `extern const std::size_t NameSize`.
if(NOT INPUT OR NOT OUTPUT OR NOT SYMBOL)
    message(FATAL_ERROR "EmbedFile.cmake needs INPUT, OUTPUT and SYMBOL")
endif()
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes to a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
    "// Made by the build from ${name}; do not edit.\n"
    "#include <cstddef>\n\n"
    "extern const unsigned char ${SYMBOL}[] = {\n    ${bytes}\n};\n"
    "extern const std::size_t ${SYMBOL}Size = ${size};\n")
# Rewrite only when the bytes changed, so the library is not rebuilt for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
