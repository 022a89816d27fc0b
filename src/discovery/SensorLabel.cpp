#include "SensorLabel.h"

#include <string_view>

#include "DeviceRecord.h"

namespace {

struct SensorRow {
    std::string_view prefix;  // six bytes
    const char* label;
};

constexpr SensorRow kSensors[] = {
    {"OV9712", "QEMA 1Mpx"},
    {"IMX138", "QEMA 1.3Mpx"},
    {"IMX238", "QEMA 1.3Mpx"},
};

}  // namespace

const ZQ_ConfigEntry* FindSensorModelEntry(const ZQ_ConfigBlock& block) {
    for (const ZQ_ConfigEntry& entry : block.Entry) {
        if (FieldText(entry.Name) == "SensorModel")
            return &entry;
    }
    return nullptr;
}

const char* SensorLabelFor(const ZQ_ConfigEntry& entry) {
    // Only the first six bytes count, whatever follows them; the value is 256 bytes wide, so
    // they are always there to compare.
    const std::string_view sensor(entry.Value, 6);
    for (const SensorRow& row : kSensors) {
        if (sensor == row.prefix)
            return row.label;
    }
    return nullptr;
}

const char* SensorLabel(const ZQ_ConfigBlock& block) {
    const ZQ_ConfigEntry* entry = FindSensorModelEntry(block);
    return entry != nullptr ? SensorLabelFor(*entry) : nullptr;
}
