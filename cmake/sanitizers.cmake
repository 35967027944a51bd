# TARNVEX_SANITIZE: AddressSanitizer and UndefinedBehaviorSanitizer for every target, with
# float-to-int overflow checked too; division of reals by zero stays allowed, since
# infinities may flow through the arithmetic.
option(TARNVEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TARNVEX_SANITIZE)
  set(san -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
          -fno-omit-frame-pointer)
  add_compile_options(${san})
  add_link_options(${san})
endif()
