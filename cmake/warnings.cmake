# Warnings for every target of the project; TARNVEX_WERROR makes them errors (CI sets it).
option(TARNVEX_WERROR "Treat warnings as errors" OFF)

function(tarnvex_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wdouble-promotion)
  # The eight-lane vectors of the kernels never cross a function boundary that is not
  # inlined within one clone, so the note on their calling convention does not apply.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-psabi)
  endif()
  if(TARNVEX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
