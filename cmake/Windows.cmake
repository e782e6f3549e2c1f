# Settings shared by every target of the Windows build.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601
                        WINVER=0x0601 STRICT)
add_compile_options(-municode -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
# Warnings that mean a fault on one of the two architectures are errors in both: a format for
# the wrong width, an integer of another size taken for a pointer or back, a shift past the
# width of a 32-bit long, and (in C) a callback of the wrong calling convention. In C++ a
# calling-convention mismatch and a pointer cut to a smaller integer are errors already.
add_compile_options(-Werror=format -Werror=int-to-pointer-cast -Werror=shift-count-overflow
                    -Werror=narrowing
                    $<$<COMPILE_LANGUAGE:C>:-Werror=pointer-to-int-cast>
                    $<$<COMPILE_LANGUAGE:C>:-Werror=incompatible-pointer-types>)
# Statically linked: setup.exe needs no DLL beyond those every Windows has.
add_link_options(-municode -static -static-libgcc -static-libstdc++)
# Release programs carry no symbols: setup.exe is downloaded by every user.
add_link_options($<$<CONFIG:Release>:-s>)

find_library(MINGW_ZLIB NAMES libz.a z REQUIRED)
find_path(MINGW_ZLIB_INCLUDE zlib.h REQUIRED)

# Every Windows test program runs under Wine in the run's prefix (see tests/harness).
set(TEST_ENV_DIR ${CMAKE_BINARY_DIR}/testenv)
set(CMAKE_CROSSCOMPILING_EMULATOR ${REPO_ROOT}/tests/harness/wine-run.sh ${TEST_ENV_DIR})
