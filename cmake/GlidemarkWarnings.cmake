# One place for the warning set, so every target of ours is held to the same bar.
add_library(glidemark_warnings INTERFACE)
target_compile_options(glidemark_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough -Wmisleading-indentation)
if(GLIDEMARK_WERROR)
  target_compile_options(glidemark_warnings INTERFACE -Werror)
endif()
# sd-bus's SD_BUS_ERROR_NULL is a C compound literal, which clang (the fuzz
# build) reports in C++; it is the documented way to start an sd_bus_error.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  target_compile_options(glidemark_warnings INTERFACE -Wno-c99-extensions)
endif()
