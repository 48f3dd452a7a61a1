# Writes a C++ source that holds a file's bytes: cmake -DINPUT=.. -DOUTPUT=.. -DSYMBOL=.. -P EmbedFile.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n\nnamespace res {\nextern const unsigned char ${SYMBOL}[] = {\n  ${bytes}\n};\nextern const size_t ${SYMBOL}Size = ${size};\n}  // namespace res\n")
