# Flags of the fuzz build: every object is instrumented for libFuzzer and runs under
# AddressSanitizer and UndefinedBehaviorSanitizer; undefined behaviour stops the run like a crash.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VARNEL_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
