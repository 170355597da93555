# Warnings and floating-point settings for every target of the project.
function(quarvel_compile_options target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow
      # Resampling results must be identical on every CPU: no fused
      # multiply-add and no extended intermediate precision.
      -ffp-contract=off)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
      target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
    endif()
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /fp:precise)
  endif()
endfunction()
