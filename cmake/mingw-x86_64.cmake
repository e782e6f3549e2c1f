# Cross-compiles for 64-bit Windows: the test build on machines whose kernel cannot run
# 32-bit programs, which Wine's 32-bit loader is (see scripts/windows-arch.sh).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
