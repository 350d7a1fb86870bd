# Build step: compiles a text window description with formc and writes the binary stream as a
# C++ byte array, for a form of a library that has no resources of its own.
#   cmake -DFORMC=... -DINPUT=x.txt -DBIN=x.bin -DOUTPUT=x.cpp -DSYMBOL=kName -DNAMESPACE=ns -P this
execute_process(COMMAND ${FORMC} ${INPUT} ${BIN} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "formc ${INPUT} failed (${rc})")
endif()
file(READ ${BIN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include <cstddef>\n\n"
  "namespace ${NAMESPACE} {\n\n"
  "extern const unsigned char ${SYMBOL}[];\n"
  "extern const std::size_t ${SYMBOL}Size;\n"
  "const unsigned char ${SYMBOL}[] = {\n    ${bytes}\n};\n"
  "const std::size_t ${SYMBOL}Size = ${size};\n\n"
  "}  // namespace ${NAMESPACE}\n")
