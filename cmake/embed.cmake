# Turns one binary resource into a C++ source; a file of the wrong size stops the build.
# Inputs: NAME, INPUT, OUTPUT, SIZE (0: any size of at least one byte).
file(SIZE "${INPUT}" actual)
if(NOT SIZE EQUAL 0 AND NOT actual EQUAL SIZE)
  message(FATAL_ERROR "resource ${NAME}: ${INPUT} has ${actual} bytes, expected ${SIZE}")
endif()
if(actual EQUAL 0)
  message(FATAL_ERROR "resource ${NAME}: ${INPUT} is empty")
endif()
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
"// Generated from ${INPUT}; do not edit.
#include \"platform/resources.h\"
namespace pentad::embedded {
extern const unsigned char ${NAME}_data[];
const unsigned char ${NAME}_data[] = {
${bytes}
};
extern const unsigned long ${NAME}_size;
const unsigned long ${NAME}_size = ${actual};
}
")
