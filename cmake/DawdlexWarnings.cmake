# Warnings are errors everywhere in our own code.
function(dawdlex_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
      -Wsuggest-override -Wnon-virtual-dtor)
  endif()
endfunction()
