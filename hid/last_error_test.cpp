#include <gtest/gtest.h>

#include <thread>

#include "hid/iowkit2.h"

TEST(LastError, IsPerThread) {
    IowKit2SetLastError(kIowKit2ErrorTimeout);
    EXPECT_EQ(IowKit2GetLastError(), 1460u);

    uint32_t atThreadStart = 1;
    uint32_t afterSet = 1;
    std::thread other([&] {
        atThreadStart = IowKit2GetLastError();
        IowKit2SetLastError(kIowKit2ErrorInvalidParameter);
        afterSet = IowKit2GetLastError();
    });
    other.join();
    EXPECT_EQ(atThreadStart, 0u);
    EXPECT_EQ(afterSet, 87u);
}
