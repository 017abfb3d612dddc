# -DVELLORA_SANITIZE=address   AddressSanitizer with UndefinedBehaviorSanitizer
# -DVELLORA_SANITIZE=thread    ThreadSanitizer (for the watcher and interpreter threads)
set(VELLORA_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
set_property(CACHE VELLORA_SANITIZE PROPERTY STRINGS "" address thread)

if(VELLORA_SANITIZE STREQUAL "address")
    set(_vellora_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
elseif(VELLORA_SANITIZE STREQUAL "thread")
    set(_vellora_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT VELLORA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VELLORA_SANITIZE must be empty, address or thread")
endif()

if(DEFINED _vellora_san)
    add_compile_options(${_vellora_san})
    add_link_options(${_vellora_san})
endif()
