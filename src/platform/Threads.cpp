#include "Threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>

#include "Runtime.h"

namespace platform {

struct ThreadState {
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> finished{false};
    std::atomic<DWORD> exitCode{STILL_ACTIVE};
    std::atomic<DWORD> terminateCode{0};
    std::mutex mutex;
    std::condition_variable changed;
};

namespace {

struct ThreadHandle {
    std::shared_ptr<ThreadState> state;
};

thread_local std::shared_ptr<ThreadState> tCurrent;

std::mutex gRunningMutex;
std::set<std::shared_ptr<ThreadState>> gRunning;
std::condition_variable gRunningChanged;

ThreadState* StateOf(HANDLE handle) {
    return handle == nullptr ? nullptr : static_cast<ThreadHandle*>(handle)->state.get();
}

void Finish(const std::shared_ptr<ThreadState>& state, DWORD code) {
    {
        std::lock_guard lock(state->mutex);
        state->exitCode = state->stopRequested ? state->terminateCode.load() : code;
        state->finished = true;
        state->changed.notify_all();
    }
    {
        std::lock_guard lock(gRunningMutex);
        gRunning.erase(state);
        gRunningChanged.notify_all();
    }
    Runtime::Get().WakeGui();
}

}  // namespace

std::shared_ptr<ThreadState> CurrentThreadState() {
    return tCurrent;
}

bool StopRequested(const ThreadState* state) {
    return state != nullptr && state->stopRequested;
}

}  // namespace platform

using platform::ThreadState;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD, LPDWORD threadId) {
    if (start == nullptr)
        return nullptr;
    auto state = std::make_shared<ThreadState>();
    {
        std::lock_guard lock(platform::gRunningMutex);
        platform::gRunning.insert(state);
    }
    try {
        std::thread([state, start, parameter] {
            platform::tCurrent = state;
            const DWORD code = start(parameter);
            platform::Finish(state, code);
            platform::tCurrent.reset();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(platform::gRunningMutex);
        platform::gRunning.erase(state);
        return nullptr;
    }
    static std::atomic<DWORD> nextId{1};
    if (threadId != nullptr)
        *threadId = nextId++;
    return new platform::ThreadHandle{std::move(state)};
}

DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds) {
    ThreadState* state = platform::StateOf(thread);
    if (state == nullptr)
        return WAIT_FAILED;
    if (state->finished)
        return WAIT_OBJECT_0;
    platform::Runtime& runtime = platform::Runtime::Get();
    if (runtime.IsGuiThread()) {
        return runtime.WaitOnGui([state] { return state->finished.load(); }, milliseconds)
                   ? WAIT_OBJECT_0
                   : WAIT_TIMEOUT;
    }
    std::unique_lock lock(state->mutex);
    auto finished = [state] { return state->finished.load(); };
    if (milliseconds == INFINITE) {
        state->changed.wait(lock, finished);
        return WAIT_OBJECT_0;
    }
    return state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), finished)
               ? WAIT_OBJECT_0
               : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE thread) {
    if (thread == nullptr)
        return FALSE;
    delete static_cast<platform::ThreadHandle*>(thread);
    return TRUE;
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
    ThreadState* state = platform::StateOf(thread);
    if (state == nullptr)
        return FALSE;
    {
        std::lock_guard lock(state->mutex);
        if (!state->stopRequested)
            state->terminateCode = exitCode;
        state->stopRequested = true;
        state->changed.notify_all();
    }
    platform::Runtime::Get().AbandonCallsOf(state);
    return TRUE;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    ThreadState* state = platform::StateOf(thread);
    if (state == nullptr || exitCode == nullptr)
        return FALSE;
    *exitCode = state->exitCode;
    return TRUE;
}

bool IsThreadStopRequested() {
    return platform::StopRequested(platform::tCurrent.get());
}

void Sleep(DWORD milliseconds) {
    ThreadState* state = platform::tCurrent.get();
    if (state == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    std::unique_lock lock(state->mutex);
    state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                            [state] { return state->stopRequested.load(); });
}

int RunningThreadCount() {
    std::lock_guard lock(platform::gRunningMutex);
    return static_cast<int>(platform::gRunning.size());
}

bool StopAndWaitForAllThreads(DWORD milliseconds) {
    std::set<std::shared_ptr<ThreadState>> running;
    {
        std::lock_guard lock(platform::gRunningMutex);
        running = platform::gRunning;
    }
    for (const auto& state : running) {
        platform::ThreadHandle handle{state};
        TerminateThread(&handle, 0);
    }
    platform::Runtime& runtime = platform::Runtime::Get();
    if (runtime.IsGuiThread())
        return runtime.WaitOnGui([] { return RunningThreadCount() == 0; }, milliseconds);
    std::unique_lock lock(platform::gRunningMutex);
    return platform::gRunningChanged.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                              [] { return platform::gRunning.empty(); });
}

// ---------------------------------------------------------------------------------------------

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::storage));

static std::recursive_mutex* MutexOf(LPCRITICAL_SECTION section) {
    return std::launder(reinterpret_cast<std::recursive_mutex*>(section->storage));
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    new (section->storage) std::recursive_mutex;
    section->initialised = true;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    MutexOf(section)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    if (!section->initialised)
        return;
    MutexOf(section)->~recursive_mutex();
    section->initialised = false;
}
