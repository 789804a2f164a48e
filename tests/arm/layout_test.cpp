// The record layouts the device's other binaries were built against are
// checked where the module and framework use them, and stop the ARM build;
// here, that the target is the device's kind: natively pointers are 8 bytes
// and none of those layouts hold.
#include <gtest/gtest.h>

#include <cstring>

#include "win32.h"

TEST(ArmTarget, IsThirtyTwoBitLittleEndianWithAlignedSixtyFourBitIntegers)
{
    EXPECT_EQ(4u, sizeof(void*));
    EXPECT_EQ(4u, sizeof(size_t));
    EXPECT_EQ(4u, sizeof(long));
    // 8, where i386 has 4: the alignment the device's compiler uses.
    EXPECT_EQ(8u, alignof(LONGLONG));
    const DWORD dwProbe = 0x04030201;
    BYTE abProbe[4];
    std::memcpy(abProbe, &dwProbe, sizeof(abProbe));
    EXPECT_EQ(1, abProbe[0]);
}
