# Floating-point results must be bit-exact: every operation in the written order, IEEE
# double and single precision, no fused multiply-add, no reassociation. These flags hold
# for every target, the tests and benchmarks included.
add_compile_options(-ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  # SSE arithmetic in the declared precision, never the 80-bit x87 unit.
  add_compile_options(-msse2 -mfpmath=sse)
endif()
foreach(flag -ffast-math -Ofast -funsafe-math-optimizations -fassociative-math -march=native)
  string(FIND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_RELEASE} ${CMAKE_CXX_FLAGS_RELWITHDEBINFO}" "${flag}" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "${flag} would change the program's rounded results")
  endif()
endforeach()
