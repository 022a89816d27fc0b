// DiscoveryControl.cpp: the "Discovery" button, the discovery control thread, the worker of a
// pass, and the pass completion check that signals the end of a pass once.
#include <algorithm>
#include <chrono>

#include "DiscoveryThreads.h"
#include "QuorlinDlg.h"

namespace {

constexpr DWORD kControlCycleMilliseconds = 40;

// Stops the SDK's discovery and reaps the worker of the latest pass, if there is one.
void StopDiscoveryAndReapWorker(CQuorlinDlg& dlg) {
    ZQ_NET_DVR_StopDiscoveryIPC();
    if (dlg.m_workerThread != nullptr) {
        // A stop only ends the discovery calls made before it. A worker that had not yet made
        // its call (just started when the window closes) would run its whole pass and hold up
        // the close, so the stop is made again until the worker has ended.
        while (WaitForSingleObject(dlg.m_workerThread, kControlCycleMilliseconds) == WAIT_TIMEOUT)
            ZQ_NET_DVR_StopDiscoveryIPC();
        CloseHandle(dlg.m_workerThread);
        dlg.m_workerThread = nullptr;
    }
}

}  // namespace

void CQuorlinDlg::OnDiscovery() {
    EnableControls(FALSE);

    // A new pass generation, not done, before the counts go back to zero: a sensor query thread
    // of the previous pass that is inside its completion check right now can then no longer
    // mark this pass as done (see CheckPassCompletion).
    m_passState = (PassGeneration() + 1) << 1;
    m_slotCount = 0;
    m_reportedCount = 0;
    m_expectedCount = 0;

    EndSensorThreads();

    m_stopRequest = 1;
    m_restartRequest = 1;
}

void CQuorlinDlg::EndSensorThreads() {
    for (HANDLE& sensorThread : m_sensorThreads) {
        if (sensorThread == nullptr)
            continue;
        TerminateThread(sensorThread, 0);
        // The thread may still be inside an SDK call; its handle is kept until it has left, so
        // the close sequence can make sure it is gone before the lock and the dialog are.
        m_endedSensorThreads.push_back(sensorThread);
        sensorThread = nullptr;
    }
    ReleaseEndedSensorThreads(0);
}

void CQuorlinDlg::ReleaseEndedSensorThreads(DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    auto ended = [&](HANDLE thread) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(deadline - Clock::now(), Clock::duration::zero()));
        if (WaitForSingleObject(thread, static_cast<DWORD>(left.count())) != WAIT_OBJECT_0)
            return false;
        CloseHandle(thread);
        return true;
    };
    std::erase_if(m_endedSensorThreads, ended);
}

void CQuorlinDlg::CheckPassCompletion(uint32_t generation) {
    // The done flag shares one word with the pass generation. OnDiscovery resets the counts on
    // the GUI thread without the lock while an ended thread of the previous pass may be right
    // here; with a plain flag that thread could find the new pass's counts equal (both 0), set
    // the new pass's flag, and the new pass would never re-enable the controls. The compare-
    // exchange only succeeds for the caller's own pass that is not yet done, so exactly one
    // WM_DISCOVERY_DONE goes out per pass and only from one of that pass's threads.
    EnterCriticalSection(&m_lock);
    if (m_reportedCount.load() == m_expectedCount.load()) {
        uint32_t open = generation << 1;
        if (m_passState.compare_exchange_strong(open, open | kPassDone))
            SendMessage(WM_DISCOVERY_DONE, 0, 0);
    }
    LeaveCriticalSection(&m_lock);
}

DWORD DiscoveryControlThread(LPVOID dialog) {
    auto& dlg = *static_cast<CQuorlinDlg*>(dialog);
    if (dlg.m_runFlag == 0)
        return 0;
    do {
        // The stop request is served before the restart request, so one press of "Discovery"
        // ends the previous pass and starts the next within one cycle. A press writes the stop
        // request before the restart request; the restart request is read first, so a restart
        // seen in this cycle always comes with its stop. Read the other way round, a press
        // landing between the two reads would start the new pass here and have its stop served
        // in the next cycle, cutting that new pass short.
        const bool restart = dlg.m_restartRequest != 0;
        if (dlg.m_stopRequest != 0) {
            StopDiscoveryAndReapWorker(dlg);
            dlg.m_stopRequest = 0;
        }
        if (restart) {
            dlg.ResetDiscoveryDocument();
            dlg.m_deviceList.SendMessage(LVM_DELETEALLITEMS, 0, 0);
            dlg.m_workerThread = CreateThread(nullptr, 0, DiscoveryWorkerThread, &dlg, 0, nullptr);
            dlg.m_restartRequest = 0;
        }
        Sleep(kControlCycleMilliseconds);
    } while (dlg.m_runFlag != 0 && !IsThreadStopRequested());

    // The window is closing. A pass that still runs is stopped here rather than left to run to
    // its end, so the close sequence, which waits for this thread and then for the worker, ends
    // promptly.
    if (dlg.m_workerThread != nullptr)
        StopDiscoveryAndReapWorker(dlg);
    return 0;
}

DWORD DiscoveryWorkerThread(LPVOID) {
    CQuorlinDlg& dlg = *g_quorlinDlg.load();
    const uint32_t generation = dlg.PassGeneration();

    ZQ_NET_DVR_StopDiscoveryIPC();
    ZQ_NET_DVR_StartDiscoveryIPC();

    // Every report of the pass has been delivered by now (the callback raises the slot count
    // before the reported count), so the two counts the check compares are equal.
    dlg.m_expectedCount = dlg.m_slotCount.load();
    dlg.CheckPassCompletion(generation);
    return 0;
}
