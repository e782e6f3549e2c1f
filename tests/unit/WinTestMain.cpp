// Entry point of the Windows unit tests: the build uses the wide-character entry points
// (-municode), which GoogleTest's own main does not provide.
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
