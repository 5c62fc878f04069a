# Sanitizers apply to everything we compile and link, tests included.
if(GLIDEMARK_SANITIZE)
  add_compile_options(-fsanitize=${GLIDEMARK_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${GLIDEMARK_SANITIZE})
endif()
