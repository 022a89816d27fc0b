// The layer's threading rules, against a real dialog on the GUI thread: sends from other
// threads, waits that carry them out, shutdown, and the cooperative stop.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "TestDialog.h"
#include "Threads.h"

namespace {

using namespace std::chrono_literals;

class LayerThreads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dialog.Create(kTemplate)); }
    void TearDown() override {
        // Every thread a test started has ended before its dialog goes.
        EXPECT_TRUE(StopAndWaitForAllThreads(30000));
    }

    platform::testing::GuiSession m_session;
    TestDialog m_dialog;
};

struct PingJob {
    HWND window;
    int sends;
    std::atomic<LRESULT> lastResult{-1};
    std::atomic<int> answered{0};
};

DWORD PingThread(LPVOID parameter) {
    auto* job = static_cast<PingJob*>(parameter);
    for (int i = 0; i < job->sends; ++i) {
        const LRESULT result = SendMessage(job->window, WM_PING, 21, 0);
        job->lastResult = result;
        if (result == 42)
            ++job->answered;
    }
    return 7;
}

TEST_F(LayerThreads, SendsFromWorkersAreCarriedOutOnTheGuiThreadWhileItWaits) {
    constexpr int kThreads = 4;
    constexpr int kSends = 50;
    PingJob jobs[kThreads];
    HANDLE handles[kThreads];
    for (int i = 0; i < kThreads; ++i) {
        jobs[i].window = m_dialog.m_hWnd;
        jobs[i].sends = kSends;
        handles[i] = CreateThread(nullptr, 0, PingThread, &jobs[i], 0, nullptr);
        ASSERT_NE(handles[i], nullptr);
    }
    for (int i = 0; i < kThreads; ++i) {
        // No event loop runs here: only the wait can carry the sends out.
        ASSERT_EQ(WaitForSingleObject(handles[i], 60000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(handles[i], &code));
        EXPECT_EQ(code, 7u);
        EXPECT_TRUE(CloseHandle(handles[i]));
        EXPECT_EQ(jobs[i].answered, kSends);
    }
    EXPECT_EQ(m_dialog.m_pings, kThreads * kSends);
    EXPECT_EQ(m_dialog.m_pingThread, std::this_thread::get_id());
}

TEST_F(LayerThreads, AWaitCarriesOutSendsButNothingElse) {
    bool posted = false;
    platform::testing::PostToGuiThread([&] { posted = true; });
    PingJob job{m_dialog.m_hWnd, 3};
    HANDLE thread = CreateThread(nullptr, 0, PingThread, &job, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(job.answered, 3);
    // The posted event (as user input would be) waited for the event loop.
    EXPECT_FALSE(posted);
    platform::testing::ProcessEvents(50);
    EXPECT_TRUE(posted);
}

struct LockedSendJob {
    HWND window;
    CRITICAL_SECTION* lock;
    std::atomic<LRESULT> result{-1};
};

DWORD LockedSendThread(LPVOID parameter) {
    auto* job = static_cast<LockedSendJob*>(parameter);
    EnterCriticalSection(job->lock);
    job->result = SendMessage(job->window, WM_PING, 5, 0);
    LeaveCriticalSection(job->lock);
    return 0;
}

TEST_F(LayerThreads, AWorkerHoldingTheLockWhileSendingDoesNotBlockTheWaitForIt) {
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    LockedSendJob job{m_dialog.m_hWnd, &lock};
    HANDLE thread = CreateThread(nullptr, 0, LockedSendThread, &job, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_EQ(job.result, 10);
    DeleteCriticalSection(&lock);
}

TEST_F(LayerThreads, ATimedWaitForAThreadThatGoesOnTimesOut) {
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            while (!IsThreadStopRequested())
                Sleep(10);
            return 0;
        },
        nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 30), static_cast<DWORD>(WAIT_TIMEOUT));
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, STILL_ACTIVE);
    TerminateThread(thread, 3);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 3u);
    CloseHandle(thread);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

TEST_F(LayerThreads, ASendAfterShutdownReturnsZeroAtOnce) {
    platform::testing::ShutDownLayer();
    // From a plain thread, while this thread dispatches nothing: it must not wait.
    auto fromWorker =
        std::async(std::launch::async, [&] { return SendMessage(m_dialog.m_hWnd, WM_PING, 1, 0); });
    ASSERT_EQ(fromWorker.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(fromWorker.get(), 0);
    EXPECT_EQ(SendMessage(m_dialog.m_hWnd, WM_PING, 1, 0), 0);
    EXPECT_EQ(m_dialog.m_pings, 0);
}

TEST_F(LayerThreads, AWaitingSenderIsReleasedByTheShutdown) {
    auto fromWorker =
        std::async(std::launch::async, [&] { return SendMessage(m_dialog.m_hWnd, WM_PING, 1, 0); });
    // Give the send time to be queued; the result is the same if it comes after the shutdown.
    std::this_thread::sleep_for(100ms);
    platform::testing::ShutDownLayer();
    ASSERT_EQ(fromWorker.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(fromWorker.get(), 0);
    EXPECT_EQ(m_dialog.m_pings, 0);
}

TEST_F(LayerThreads, ASendToAWindowThatIsGoneReturnsZero) {
    const HWND window = m_dialog.m_hWnd;
    auto waiting =
        std::async(std::launch::async, [&] { return SendMessage(window, WM_PING, 1, 0); });
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(m_dialog.DestroyWindow());
    ASSERT_EQ(waiting.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0);
    auto later = std::async(std::launch::async, [&] { return SendMessage(window, WM_PING, 1, 0); });
    ASSERT_EQ(later.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(later.get(), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(m_dialog.m_pings, 0);
}

struct StepJob {
    std::atomic<int> steps{0};
    std::atomic<int> stepsAfterStop{0};
};

DWORD SteppingThread(LPVOID parameter) {
    auto* job = static_cast<StepJob*>(parameter);
    for (;;) {
        if (IsThreadStopRequested())
            return 1;
        ++job->steps;
        Sleep(2);
    }
}

TEST_F(LayerThreads, AStoppedThreadDoesNotRunPastItsNextCheck) {
    StepJob job;
    HANDLE thread = CreateThread(nullptr, 0, SteppingThread, &job, 0, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (job.steps < 5 && std::chrono::steady_clock::now() < deadline)
        Sleep(1);
    ASSERT_GE(job.steps, 5);
    EXPECT_TRUE(TerminateThread(thread, 9));
    const int atStop = job.steps;
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    // At most the step it was in when the stop came.
    EXPECT_LE(job.steps - atStop, 1);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 9u);
    CloseHandle(thread);
}

TEST_F(LayerThreads, SleepWakesEarlyWhenTheStopIsRequested) {
    std::atomic<bool> slept{false};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            Sleep(600000);
            static_cast<std::atomic<bool>*>(p)->store(true);
            return 0;
        },
        &slept, 0, nullptr);
    TerminateThread(thread, 0);
    // Far below the ten minutes of the sleep.
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(slept);
    CloseHandle(thread);
}

struct StoppedSenderJob {
    HWND window;
    std::atomic<bool> sending{false};
    std::atomic<LRESULT> result{-1};
};

DWORD StoppedSenderThread(LPVOID parameter) {
    auto* job = static_cast<StoppedSenderJob*>(parameter);
    job->sending = true;
    job->result = SendMessage(job->window, WM_PING, 1, 0);
    // After the stop: dropped at once, never carried out.
    if (SendMessage(job->window, WM_PING, 1, 0) != 0)
        job->result = -2;
    return 0;
}

TEST_F(LayerThreads, TheSendsOfAStoppedThreadAreDropped) {
    StoppedSenderJob job{m_dialog.m_hWnd};
    HANDLE thread = CreateThread(nullptr, 0, StoppedSenderThread, &job, 0, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!job.sending && std::chrono::steady_clock::now() < deadline)
        Sleep(1);
    // The send is (very likely) queued now; this thread has not carried anything out.
    std::this_thread::sleep_for(50ms);
    TerminateThread(thread, 0);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
    platform::testing::ProcessEvents(20);
    EXPECT_EQ(job.result, 0);
    EXPECT_EQ(m_dialog.m_pings, 0);
}

TEST_F(LayerThreads, TheCriticalSectionKeepsThreadsApartAndIsRecursive) {
    struct Shared {
        CRITICAL_SECTION lock;
        long counter = 0;
    } shared;
    InitializeCriticalSection(&shared.lock);
    auto work = [](LPVOID p) -> DWORD {
        auto* s = static_cast<Shared*>(p);
        for (int i = 0; i < 2000; ++i) {
            EnterCriticalSection(&s->lock);
            EnterCriticalSection(&s->lock);
            ++s->counter;
            LeaveCriticalSection(&s->lock);
            LeaveCriticalSection(&s->lock);
        }
        return 0;
    };
    HANDLE threads[4];
    for (HANDLE& t : threads)
        t = CreateThread(nullptr, 0, work, &shared, 0, nullptr);
    for (HANDLE t : threads) {
        EXPECT_EQ(WaitForSingleObject(t, 60000), WAIT_OBJECT_0);
        CloseHandle(t);
    }
    EXPECT_EQ(shared.counter, 8000);
    DeleteCriticalSection(&shared.lock);
}

}  // namespace
