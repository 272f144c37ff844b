# Writes a compiled message catalog (MO) into a C++ source file as a string
# of bytes, named NAME in namespace console: cmake -DMO=... -DNAME=... -DOUT=... -P
file(READ "${MO}" bytes HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${bytes}")
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
file(WRITE "${OUT}.new"
  "// Made from ${MO} at build time.\n"
  "#include <string_view>\n"
  "namespace console {\n"
  "extern const std::string_view ${NAME};\n"
  "const std::string_view ${NAME}(\"${escaped}\", ${size});\n"
  "}  // namespace console\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
