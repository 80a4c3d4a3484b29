# Warnings and sanitizers are interface targets that our own targets link, so
# third-party code is compiled untouched.
add_library(velmora_warnings INTERFACE)
target_compile_options(velmora_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
if(VELMORA_WARNINGS_AS_ERRORS)
  target_compile_options(velmora_warnings INTERFACE -Werror)
endif()

add_library(velmora_sanitizers INTERFACE)
if(VELMORA_SANITIZE)
  target_compile_options(velmora_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(velmora_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

add_library(velmora_fuzzing INTERFACE)
if(VELMORA_FUZZ)
  target_compile_options(velmora_fuzzing INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Options every project target shares.
add_library(velmora_options INTERFACE)
target_link_libraries(velmora_options INTERFACE velmora_warnings velmora_sanitizers velmora_fuzzing)
