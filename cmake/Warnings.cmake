# Warnings are switched on target by target, never through global flags.
function(palmota_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Wmissing-declarations)
  endif()
endfunction()
