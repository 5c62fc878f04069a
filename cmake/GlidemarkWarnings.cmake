# One place for the warning set, so every target of ours is held to the same bar.
add_library(glidemark_warnings INTERFACE)
target_compile_options(glidemark_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough -Wmisleading-indentation)
if(GLIDEMARK_WERROR)
  target_compile_options(glidemark_warnings INTERFACE -Werror)
endif()
