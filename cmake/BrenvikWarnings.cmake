# Common compile settings applied to the project's own targets.
add_library(brenvik_build_flags INTERFACE)
add_library(brenvik::build_flags ALIAS brenvik_build_flags)
target_compile_options(brenvik_build_flags INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers>)

if(BRENVIK_SANITIZE)
  list(JOIN BRENVIK_SANITIZE "," _brenvik_san)
  add_compile_options(-fsanitize=${_brenvik_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_brenvik_san})
endif()
