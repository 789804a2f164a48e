// CInterlockedValue hands a flag or a state from one thread to another
// without a lock: what the writer did before Set is seen by a reader once
// Get returns the new value. Under the thread checker a missing ordering
// shows as a race on the payload.
#include <gtest/gtest.h>

#include <thread>

#include "basefilter.h"
#include "interlockedvalue.h"

TEST(InterlockedValue, APolledFlagPublishesWhatWasWrittenBeforeIt)
{
    for (int round = 0; round < 50; ++round) {
        CInterlockedValue<BYTE> ready(0);
        CInterlockedValue<BYTE> answered(0);
        int payload = 0;  // plain memory: ordered only by the flags
        int seen = -1;
        std::thread worker([&] {
            while (!ready.Get()) std::this_thread::yield();
            seen = payload;
            payload = round + 1000;
            answered.Set(1);
        });
        payload = round;
        ready.Set(1);
        while (!answered.Get()) std::this_thread::yield();
        EXPECT_EQ(round + 1000, payload);
        worker.join();
        EXPECT_EQ(round, seen);
    }
}
