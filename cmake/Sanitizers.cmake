# Any sanitizer report fails the run: recovery is off, so UBSan aborts like ASan.
if(RBFINDER_SANITIZE)
    set(RBFINDER_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${RBFINDER_SANITIZER_FLAGS})
    add_link_options(${RBFINDER_SANITIZER_FLAGS})
endif()
