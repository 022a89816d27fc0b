// DiscoveryCallback.cpp: what happens to each device report of a pass. Runs on the SDK's
// discovery thread, one report at a time, while the worker is inside the SDK's discovery call.
#include <cstring>
#include <string>

#include "DiscoveryThreads.h"
#include "QuorlinDlg.h"

namespace {

// The serial prefix of the IP cameras whose row is labelled by a sensor query.
constexpr const char* kSensorQueryPrefix = "0262";

struct TypeStep {
    CButton CQuorlinDlg::*box;
    DeviceType type;
    bool sensorQuery;
};

// In this order for every report, each with its own check-box query.
constexpr TypeStep kTypeSteps[] = {
    {&CQuorlinDlg::m_checkIPC, DeviceType::IPC, true},
    {&CQuorlinDlg::m_checkDVR, DeviceType::DVR, false},
    {&CQuorlinDlg::m_checkDEC, DeviceType::DEC, false},
    {&CQuorlinDlg::m_checkNVR, DeviceType::NVR, false},
};

// The slot count first: the worker copies it into the expected count, and the check compares
// that with the reported count.
void Count(CQuorlinDlg& dlg, int32_t index) {
    dlg.m_slotCount.store(index + 1);
    dlg.m_reportedCount.fetch_add(1);
}

void AcceptReport(CQuorlinDlg& dlg, const DiscoveredDevice& report, bool sensorQuery) {
    const int32_t index = dlg.m_slotCount.load();
    // All slots of the pass are taken: the report is dropped whole (no slot, no document
    // entry, no row, no count), as if its type had not been ticked. The pass still ends once,
    // because neither count moves.
    if (index < 0 || index >= kMaxDeviceSlots)
        return;

    DeviceSlot& slot = dlg.m_slots[index];
    std::memcpy(&slot.device, &report, sizeof report);
    slot.row = index;

    CQuorlinDlg::AppendDeviceNode(report, &dlg);

    const std::string prefix = SerialPrefix(report);
    if (sensorQuery && prefix == kSensorQueryPrefix) {
        dlg.AddDeviceRow(slot, "");
        // Counted before its query starts: a query that ends at once runs the completion check
        // while the worker's expected count is still 0, and had the first report of a pass not
        // been counted yet, both counts would be 0 and the check would end the pass at its
        // first camera.
        Count(dlg, index);
        dlg.m_sensorThreads[index] = StartSensorQuery(slot, dlg.PassGeneration());
        return;
    }
    const auto named = dlg.m_nameTable.find(prefix);
    const std::string column1 =
        named != dlg.m_nameTable.end() ? named->second : std::string(FieldText(report.Model));
    dlg.AddDeviceRow(slot, column1.c_str());
    Count(dlg, index);
}

}  // namespace

void DiscoveryCallback(const DiscoveredDevice* report, void* dialog) {
    if (report == nullptr || dialog == nullptr)
        return;
    auto& dlg = *static_cast<CQuorlinDlg*>(dialog);
    const DeviceType type = DeviceTypeOf(*report);
    for (const TypeStep& step : kTypeSteps) {
        const bool ticked = (dlg.*step.box).SendMessage(BM_GETCHECK, 0, 0) != 0;
        if (ticked && type == step.type)
            AcceptReport(dlg, *report, step.sensorQuery);
    }
}
