# Warnings are errors on every build.
set(vocaret_warnings -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wold-style-cast -Werror)

function(vocaret_target_defaults target)
    target_compile_options(${target} PRIVATE ${vocaret_warnings})
endfunction()

if(VOCARET_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
    # One self-contained exe: the C++ runtime and winpthread linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()
