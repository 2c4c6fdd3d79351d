# Warnings are on for our own code in every build. They become errors only with DAWDLEX_WERROR (CI turns
# it on): a newer compiler's new warning must not break a packager's or a user's build.
option(DAWDLEX_WERROR "Treat compiler warnings in the project's own code as errors" OFF)

function(dawdlex_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${DAWDLEX_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wsuggest-override -Wnon-virtual-dtor
      $<$<BOOL:${DAWDLEX_WERROR}>:-Werror>)
  endif()
endfunction()
