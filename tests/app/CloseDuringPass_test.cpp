// Closing the main window at the one moment of a pass that a plain stop cannot reach: the worker
// has been started but has not yet made its discovery call when the control thread stops the
// SDK's discovery on its way out. The real SDK runs the pass (towards the discard port on
// loopback, where nothing answers, with a long quiet time); only the worker's own stop call is
// held on its way to the library (the test program is linked with --wrap for it), which is
// what puts the worker's discovery call after the control thread's stop.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "QuorlinApp.h"
#include "QuorlinDlg.h"
#include "Resource.h"
#include "Testing.h"
#include "Threads.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::atomic<bool> gHoldWorkerStop{false};
std::atomic<int> gStopsEntered{0};
std::atomic<int> gStopsReturned{0};
std::atomic<bool> gWorkerReleased{false};

}  // namespace

extern "C" {
int __real_ZQ_NET_DVR_StopDiscoveryIPC(void);
// After a press the control thread stops first (1), then the worker (2). The worker's call is
// held until one more stop has been made and has returned: the control thread's on its way out.
int __wrap_ZQ_NET_DVR_StopDiscoveryIPC(void) {
    const int entered = ++gStopsEntered;
    if (gHoldWorkerStop && entered == 2) {
        const auto deadline = Clock::now() + 60s;
        while (gStopsReturned < 2 && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        gWorkerReleased = gStopsReturned >= 2;
    }
    const int result = __real_ZQ_NET_DVR_StopDiscoveryIPC();
    ++gStopsReturned;
    return result;
}
}

namespace {

constexpr auto kQuietTime = 30s;

class CloseDuringPass : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("ZQ_NETSDK_TARGETS", "127.0.0.1:9", 1);  // discard port: nothing answers
        ::setenv("ZQ_NETSDK_QUIET_MS",
                 std::to_string(std::chrono::milliseconds(kQuietTime).count()).c_str(), 1);
        ::setenv("ZQ_NETSDK_PASS_MS", "120000", 1);
    }

    void TearDown() override {
        gHoldWorkerStop = false;
        if (m_dialog && IsWindow(m_dialog->m_hWnd))
            m_dialog->SendMessage(WM_CLOSE);
        m_dialog.reset();
        EXPECT_TRUE(StopAndWaitForAllThreads(30000));
        for (const char* name : {"ZQ_NETSDK_TARGETS", "ZQ_NETSDK_QUIET_MS", "ZQ_NETSDK_PASS_MS"})
            ::unsetenv(name);
    }

    platform::testing::GuiSession m_session;
    CQuorlinApp m_app;
    std::unique_ptr<CQuorlinDlg> m_dialog;
};

TEST_F(CloseDuringPass, AWorkerThatStartsItsPassAfterTheLastStopIsStillStopped) {
    m_dialog = std::make_unique<CQuorlinDlg>();
    ASSERT_TRUE(m_dialog->Create(IDD_QUORLIN_DIALOG));
    gStopsEntered = 0;
    gStopsReturned = 0;
    gWorkerReleased = false;
    gHoldWorkerStop = true;

    QTest::mouseClick(platform::testing::WidgetOf(::GetDlgItem(m_dialog->m_hWnd, IDC_DISCOVERY)),
                      Qt::LeftButton);
    // The control thread has served the press and the worker is held before its own stop.
    const auto deadline = Clock::now() + 60s;
    while (gStopsEntered < 2 && Clock::now() < deadline)
        platform::testing::ProcessEvents(5);
    ASSERT_GE(gStopsEntered, 2);

    const auto start = Clock::now();
    m_dialog->SendMessage(WM_CLOSE);
    const auto took = Clock::now() - start;

    // The worker's discovery call came after the control thread's stop, and the close did not
    // wait for the quiet time of that pass.
    EXPECT_TRUE(gWorkerReleased);
    EXPECT_LT(took, kQuietTime / 2)
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_EQ(m_dialog->m_controlThread, nullptr);
    EXPECT_EQ(m_dialog->m_workerThread, nullptr);
    EXPECT_TRUE(m_dialog->IsPassDone());
}

}  // namespace
