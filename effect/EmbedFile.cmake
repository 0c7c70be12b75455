# Writes OUTPUT, a C++ source that defines the bytes of INPUT as the array
# SYMBOL and their count as SYMBOL##Size, declared in HEADER.
# Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -DHEADER=... -P EmbedFile.cmake
foreach(argument INPUT OUTPUT SYMBOL HEADER)
    if(NOT DEFINED ${argument})
        message(FATAL_ERROR "EmbedFile.cmake needs -D${argument}=...")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
    message(FATAL_ERROR "${INPUT} is empty")
endif()

# Sixteen bytes to a line keeps the generated file readable in a debugger.
string(REPEAT "[0-9a-f][0-9a-f]" 16 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPLACE "\n" "\n    " bytes "${bytes}")

file(WRITE "${OUTPUT}"
"// Generated from ${INPUT} by EmbedFile.cmake; do not edit.
#include <cstddef>
#include <cstdint>

#include \"${HEADER}\"

const std::uint8_t ${SYMBOL}[] = {
    ${bytes}
};
const std::size_t ${SYMBOL}Size = ${size};

static_assert(sizeof ${SYMBOL} == ${size});
")
