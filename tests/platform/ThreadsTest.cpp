#include <gtest/gtest.h>

#include <atomic>

#include "platform/Threads.h"

namespace {

class TLambdaThread : public TThread {
public:
    explicit TLambdaThread(std::function<void(TLambdaThread&)> body) : FBody(std::move(body)) {}
    ~TLambdaThread() override { WaitFor(); }
    using TThread::Terminated;

protected:
    void Execute() override { FBody(*this); }

private:
    std::function<void(TLambdaThread&)> FBody;
};

TEST(Thread, SynchronizeRunsOnTheUserInterfaceThread)
{
    DWORD ranOn = 0;
    TLambdaThread t([&](TLambdaThread&) { TThread::Synchronize([&] { ranOn = GetCurrentThreadId(); }); });
    t.Start();
    t.WaitFor();   // serves the call while waiting
    EXPECT_EQ(ranOn, MainThreadID);
    EXPECT_TRUE(t.Finished());
}

TEST(Thread, SynchronizeIsServedByTheMessagePump)
{
    std::atomic<bool> done{false};
    int value = 0;
    TLambdaThread t([&](TLambdaThread&) {
        TThread::Synchronize([&] { value = 42; });
        done = true;
    });
    t.Start();
    for (int i = 0; i < 500 && !done; ++i) {
        ProcessMessages();
        Sleep(2);
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(value, 42);
}

TEST(Thread, AnExceptionOfTheSynchronizedCallReachesTheWorkerAndIsKept)
{
    TLambdaThread t([&](TLambdaThread&) { TThread::Synchronize([] { throw Exception("broken"); }); });
    t.Start();
    t.WaitFor();
    EXPECT_EQ(t.FatalException, "broken");
}

TEST(Thread, TerminateIsSeenByTheWorker)
{
    std::atomic<int> loops{0};
    TLambdaThread t([&](TLambdaThread& self) {
        while (!self.Terminated()) {
            ++loops;
            Sleep(1);
        }
    });
    t.Start();
    Sleep(20);
    t.Terminate();
    t.WaitFor();
    EXPECT_GT(loops.load(), 0);
}

TEST(Thread, AThreadNeverStartedNeverRunsItsBody)
{
    bool ran = false;
    {
        TLambdaThread t([&](TLambdaThread&) { ran = true; });
    }
    EXPECT_FALSE(ran);
}

TEST(SimpleEvent, WaitsTimesOutAndIsManualReset)
{
    TSimpleEvent e;
    EXPECT_EQ(e.WaitFor(0), wrTimeout);
    e.SetEvent();
    EXPECT_EQ(e.WaitFor(0), wrSignaled);
    EXPECT_EQ(e.WaitFor(0), wrSignaled);
    e.ResetEvent();
    EXPECT_EQ(e.WaitFor(5), wrTimeout);
}

TEST(Pump, QuitStopsThePumpAndStaysQueued)
{
    PostQuitMessage(3);
    EXPECT_FALSE(ProcessMessages());
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

}  // namespace
