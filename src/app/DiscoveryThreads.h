// DiscoveryThreads.h: the thread procedures of a discovery pass and the SDK's discovery callback.
//
// The control thread lives as long as the window and serves the stop and restart requests of
// "Discovery"; one worker thread per pass makes the SDK's blocking discovery call; the callback
// stores, records and lists each report of a ticked type; one sensor query thread per "0262" IP
// camera labels its row with the camera's sensor.
#pragma once

#include <cstdint>
#include <latch>

#include "DeviceRecord.h"
#include "Threads.h"
#include "ZQ_NetSDK.h"

// The discovery control thread; `dialog` is the main dialog. Returns 0.
DWORD DiscoveryControlThread(LPVOID dialog);

// The worker of one pass; reaches the dialog through g_quorlinDlg. Returns 0.
DWORD DiscoveryWorkerThread(LPVOID dialog);

// Registered with the SDK; `dialog` is the main dialog given at registration.
void DiscoveryCallback(const DiscoveredDevice* report, void* dialog);

// What a sensor query thread is started with: its slot and the pass it belongs to. The thread
// copies what it needs from the slot first and then counts `copied` down; from then on neither
// the slot nor this record is touched again, so the starter may let both go and a later pass
// may reuse the slot while an ended thread is still on its way out.
struct SensorQueryStart {
    const DeviceSlot* slot;
    uint32_t generation;
    std::latch copied{1};
};

// The sensor query of one camera; `start` is a SensorQueryStart. Returns 1.
DWORD SensorQueryThread(LPVOID start);

// Starts SensorQueryThread for `slot` and returns once the thread has copied its slot; nullptr
// (and nothing waited for) when no thread could be started.
HANDLE StartSensorQuery(const DeviceSlot& slot, uint32_t generation);
