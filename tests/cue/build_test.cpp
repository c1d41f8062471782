// Names the build a test run comes from, so the log shows which of the
// 32-bit and 64-bit programs really ran.
#include <gtest/gtest.h>

#include <cstdio>

TEST(Build, PointerSizeMatchesThePreset) {
    EXPECT_EQ(sizeof(void*) * 8, static_cast<std::size_t>(VOCARET_EXPECTED_POINTER_BITS));
    std::printf("[ BUILD    ] %d-bit %s\n", static_cast<int>(sizeof(void*) * 8),
#ifdef _WIN32
                "Windows"
#else
                "host"
#endif
    );
}
