# Warnings for every target of the project; TARNVEX_WERROR makes them errors (CI sets it).
option(TARNVEX_WERROR "Treat warnings as errors" OFF)

function(tarnvex_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wdouble-promotion)
  if(TARNVEX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
