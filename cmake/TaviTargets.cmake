# Helpers shared by every target of the project.

# Strict warnings on our own code only; GoogleTest keeps its own flags.
function(tavi_setup_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion
                         -Wno-sign-conversion -Wshadow -Werror=return-type)
  if(TAVI_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                           -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Windows binaries carry their runtime with them, so that a DLL or program
# copied on its own imports only the system's DLLs.
function(tavi_static_runtime target)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()
