// Waits and long work on a window's thread hand the thread's messages to a pump as they go.
#include "sys/MessagePump.h"

#include "sys/Win32Handle.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr UINT kProbe = WM_APP + 7;

// Processes the calling thread's waiting messages, counting the probes among them.
struct TCountingPump {
    unsigned calls = 0;
    unsigned probes = 0;
    void operator()() {
        ++calls;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == kProbe)
                ++probes;
    }
};

void DropWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

} // namespace

// A pause processes a message that arrives while it waits, and still waits its whole time;
// a wait for an object processes messages too and returns as soon as the object is signalled.
TEST(MessagePumpTest, WaitPumpingProcessesMessagesAndKeepsItsTime) {
    DropWaitingMessages(); // makes the thread's queue, too
    const DWORD self = GetCurrentThreadId();
    {
        TCountingPump counting;
        std::thread poster([self] {
            Sleep(50);
            PostThreadMessageW(self, kProbe, 0, 0);
        });
        const ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(WaitPumping(nullptr, 400, [&counting] { counting(); }));
        const ULONGLONG waited = GetTickCount64() - start;
        poster.join();
        EXPECT_EQ(counting.probes, 1u);
        // The tick count's granularity is up to 16 ms on Windows.
        EXPECT_GE(waited, 400u - 20u);
    }
    {
        TCountingPump counting;
        const THandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(done);
        const HANDLE event = done.Get();
        std::thread poster([self, event] {
            Sleep(50);
            PostThreadMessageW(self, kProbe, 0, 0);
            Sleep(100);
            SetEvent(event);
        });
        const ULONGLONG start = GetTickCount64();
        EXPECT_TRUE(WaitPumping(event, 30000, [&counting] { counting(); }));
        const ULONGLONG waited = GetTickCount64() - start;
        poster.join();
        EXPECT_EQ(counting.probes, 1u);
        EXPECT_LT(waited, 10000u) << "the wait went on after the object was signalled";
    }
    // Without a pump, a plain wait: the message stays in the queue.
    PostThreadMessageW(self, kProbe, 0, 0);
    EXPECT_FALSE(WaitPumping(nullptr, 30, {}));
    TCountingPump after;
    after();
    EXPECT_EQ(after.probes, 1u);
}

// The throttle hands the first call on at once, drops the calls that follow within 15 ms of
// work, and hands one on again once that time has passed.
TEST(MessagePumpTest, TheThrottledPumpRunsFirstThenAtMostEvery15Ms) {
    unsigned calls = 0;
    TThrottledPump pump([&calls] { ++calls; });
    pump();
    EXPECT_EQ(calls, 1u);
    for (int i = 0; i < 100; ++i)
        pump();
    EXPECT_EQ(calls, 1u);
    Sleep(40);
    pump();
    EXPECT_EQ(calls, 2u);

    TThrottledPump none{TPump{}};
    none(); // no pump, nothing called
}
