// Threads.h: thread handles with a cooperative stop, waits, Sleep and the critical section.
//
// A thread is never killed. TerminateThread asks it to stop and returns at once; the thread
// procedure sees the request through IsThreadStopRequested() between its steps, and Sleep wakes
// early on it. A send (SendMessage) made by a thread whose stop has been requested is dropped when
// the GUI thread comes to carry it out and returns 0, so such a thread never again changes a
// window, even when it was already inside the send when the stop came.
//
// A wait on the GUI thread keeps carrying out the sends other threads make to its windows, and
// nothing else (no user input, no timers, no repaint), so a worker that sends to the GUI thread
// while the GUI thread waits for that worker cannot deadlock it.
#pragma once

#include "WinTypes.h"

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);
using LPDWORD = DWORD*;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 0x00000103;

// Starts `start(parameter)` on a new thread. The handle stays valid until CloseHandle, also after
// the thread has ended. Returns nullptr when no thread could be started. `security`, `stackSize`
// and `flags` are accepted for the familiar shape and ignored (threads start running at once).
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);

// Waits until the thread has ended or `milliseconds` have passed: WAIT_OBJECT_0, WAIT_TIMEOUT,
// or WAIT_FAILED for an empty handle. On the GUI thread the wait carries out queued sends.
DWORD WaitForSingleObject(HANDLE thread, DWORD milliseconds);

// Releases the handle; the thread itself goes on if it still runs.
BOOL CloseHandle(HANDLE thread);

// Asks the thread to stop at its next check and returns at once, without waiting for it.
// Its pending and later sends are dropped. `exitCode` becomes its exit code if it has not
// ended yet.
BOOL TerminateThread(HANDLE thread, DWORD exitCode);

// The thread's exit code, or STILL_ACTIVE while it runs.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

// True on a thread started by CreateThread whose stop has been requested. False elsewhere.
bool IsThreadStopRequested();

// Pauses the calling thread. A thread started by CreateThread wakes early when its stop is
// requested.
void Sleep(DWORD milliseconds);

// Asks every thread started by CreateThread to stop and waits, carrying out sends if called on
// the GUI thread, until all have ended or `milliseconds` have passed. True when none runs any
// more. The application calls it once at the end of the run.
bool StopAndWaitForAllThreads(DWORD milliseconds);

// The number of threads started by CreateThread that have not ended yet.
int RunningThreadCount();

// A recursive lock with the classic four calls. Its storage lives inside the structure, so a
// member of this type needs no allocation.
struct CRITICAL_SECTION {
    alignas(std::max_align_t) unsigned char storage[64];
    bool initialised;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
