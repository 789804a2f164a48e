// At the end of the run no framework object, memory allocator or COM
// initialisation may be left: a leak here is a reference someone forgot.
#include <gtest/gtest.h>

#include "comtesthooks.h"
#include "unknown.h"

namespace {

class ComObjectsEnvironment : public testing::Environment {
public:
    void TearDown() override
    {
        EXPECT_EQ(0, CBaseObject::ObjectsActive()) << "framework objects still alive at exit";
        EXPECT_EQ(0, platformtest::LiveMemAllocators()) << "memory allocators still alive at exit";
        EXPECT_EQ(0, platformtest::ComInitializedThreads()) << "threads left COM initialised";
    }
};

const testing::Environment* const g_pEnvironment = testing::AddGlobalTestEnvironment(new ComObjectsEnvironment);

}  // namespace
