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

# TARNVEX_TSAN: ThreadSanitizer for every target, for the tests of runs on several threads.
# The kernels' per-processor clones are left out: their resolvers run before the
# sanitizer's runtime is ready.
option(TARNVEX_TSAN "Build with ThreadSanitizer" OFF)
if(TARNVEX_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
  add_compile_definitions(TARNVEX_NO_CLONES)
endif()

# TARNVEX_FUZZ: instrumentation for libFuzzer (clang only) on every library, with the
# sanitizers; the fuzz programs link the engine.
option(TARNVEX_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(TARNVEX_FUZZ)
  set(fuzz -fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow
           -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${fuzz})
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
endif()
