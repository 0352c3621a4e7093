# Writes OUT, a C++ source defining the bytes of IN as SYMBOL and its length
# as SYMBOL_size. Run as: cmake -DIN=... -DOUT=... -DSYMBOL=... -P EmbedBinary.cmake
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUT}"
  "// Made from ${IN} by viewer/EmbedBinary.cmake; do not edit.\n"
  "#include <cstddef>\n"
  "extern const unsigned char ${SYMBOL}[] = {${bytes}};\n"
  "extern const std::size_t ${SYMBOL}_size = ${size};\n")
