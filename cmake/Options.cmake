# Compiler settings shared by every target of the project.
option(UPG_WERROR "Treat compiler warnings as errors" OFF)
option(UPG_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_compile_options(-Wall -Wextra -Wshadow -fno-exceptions -fno-rtti)
if(UPG_WERROR)
  add_compile_options(-Werror)
endif()

if(UPG_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)
