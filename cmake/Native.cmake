# The native build exists for testing the portable core: sanitizers are on by default.
option(NATIVE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(NATIVE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
find_package(ZLIB REQUIRED)
