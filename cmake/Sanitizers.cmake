# Any sanitizer report fails the run: recovery is off, so UBSan aborts like ASan.
if(RBFINDER_SANITIZE)
    set(RBFINDER_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${RBFINDER_SANITIZER_FLAGS})
    add_link_options(${RBFINDER_SANITIZER_FLAGS})
endif()

# ThreadSanitizer, for the threaded tests: the worker, console capture and the search on
# a worker thread.
if(RBFINDER_SANITIZE_THREAD)
    # Fences (in Asio) are not modelled by ThreadSanitizer; GCC warns of each one.
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -Wno-tsan)
    add_link_options(-fsanitize=thread)
endif()
