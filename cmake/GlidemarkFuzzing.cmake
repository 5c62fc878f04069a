# libFuzzer: every target of ours gets the coverage instrumentation the fuzzer
# steers by; only the fuzz programs link the fuzzer's own main().
if(GLIDEMARK_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "GLIDEMARK_BUILD_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
