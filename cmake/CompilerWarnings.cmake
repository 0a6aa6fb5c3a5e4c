# Warnings for the project's own targets; Boost's headers come in as system headers.
function(rbfinder_set_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
            -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual)
        if(MINGW)
            # GCC 12's false alarms in code inlined from Asio's Windows address parsing
            # and from std::string copies; neither points at this project's code.
            target_compile_options(${target} PRIVATE -Wno-string-compare -Wno-restrict)
        endif()
        if(RBFINDER_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()
