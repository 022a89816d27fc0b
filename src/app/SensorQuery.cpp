// SensorQuery.cpp: the sensor query of one "0262" IP camera: log in (up to three attempts a
// second apart), read the configuration block, label the camera's row by its sensor, log out,
// and run the pass completion check.
//
// A new pass or the close of the window asks the thread to stop (TerminateThread) without
// waiting for it. The thread then ends at its next step: it takes no more logins, reads nothing,
// does not take the dialog's lock and runs no completion check; a login it holds is logged out.
// The layer drops the window sends of a stopped thread, so a label of an ended pass never lands
// in the rows of the next one.
#include <cstring>

#include "DiscoveryThreads.h"
#include "QuorlinDlg.h"
#include "SensorLabel.h"

namespace {

constexpr int kLoginAttempts = 3;
constexpr DWORD kLoginRetryMilliseconds = 1000;
constexpr int kSensorLabelColumn = 1;

}  // namespace

HANDLE StartSensorQuery(const DeviceSlot& slot, uint32_t generation) {
    SensorQueryStart start{&slot, generation};
    HANDLE thread = CreateThread(nullptr, 0, SensorQueryThread, &start, 0, nullptr);
    if (thread != nullptr)
        start.copied.wait();
    return thread;
}

DWORD SensorQueryThread(LPVOID parameter) {
    auto* start = static_cast<SensorQueryStart*>(parameter);
    // What the query needs, copied while the slot is known to hold this camera; the record's
    // address is also its Eth0.IP text, the address the login expects.
    DiscoveredDevice device;
    std::memcpy(&device, &start->slot->device, sizeof device);
    const int32_t row = start->slot->row;
    const uint32_t generation = start->generation;
    start->copied.count_down();  // `start` and the slot are not touched from here on

    CQuorlinDlg* dlg = g_quorlinDlg.load();
    if (dlg == nullptr)
        return 1;

    unsigned char loginInfo[ZQ_LOGIN_INFO_SIZE] = {};
    int32_t login = -1;
    for (int attempt = 0; attempt < kLoginAttempts && login == -1; ++attempt) {
        if (attempt > 0)
            Sleep(kLoginRetryMilliseconds);
        if (IsThreadStopRequested())
            return 1;
        login = ZQ_NET_DVR_Login(device.Eth0.IP, device.Port.Private, device.User.U, device.User.P,
                                 loginInfo);
    }

    if (login != -1) {
        if (!IsThreadStopRequested()) {
            ZQ_ConfigBlock block;
            std::memset(&block, 0, sizeof block);
            uint32_t returned = 0;
            if (ZQ_NET_DVR_GetDVRConfig(login, ZQ_NET_DVR_GET_PARAMETERS, 0, &block, sizeof block,
                                        &returned) != 0) {
                const ZQ_ConfigEntry* sensor = FindSensorModelEntry(block);
                if (sensor != nullptr && !IsThreadStopRequested()) {
                    EnterCriticalSection(&dlg->m_lock);
                    if (const char* label = SensorLabelFor(*sensor))
                        dlg->m_deviceList.SetItemText(row, kSensorLabelColumn, label);
                    LeaveCriticalSection(&dlg->m_lock);
                }
            }
        }
        ZQ_NET_DVR_Logout(login);
    }

    if (IsThreadStopRequested())
        return 1;
    dlg->CheckPassCompletion(generation);
    return 1;
}
