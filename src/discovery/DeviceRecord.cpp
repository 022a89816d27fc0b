#include "DeviceRecord.h"

#include <cstdio>

DeviceType DeviceTypeOf(const DiscoveredDevice& device) {
    // Only the first three bytes count; no terminator is needed after them.
    const std::string_view type(device.Model, 3);
    if (type == "IPC")
        return DeviceType::IPC;
    if (type == "DVR")
        return DeviceType::DVR;
    if (type == "DEC")
        return DeviceType::DEC;
    if (type == "NVR")
        return DeviceType::NVR;
    return DeviceType::Unknown;
}

std::string SerialPrefix(const DiscoveredDevice& device) {
    return std::string(FieldText(device.SN).substr(0, 4));
}

std::string MacText(const uint8_t (&mac)[6]) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::string VersionText(const DiscoveredDevice& device) {
    char text[64];
    std::snprintf(text, sizeof text, "V%u.%u build %04u-%02u-%02u", device.Version >> 16,
                  device.Version & 0xFFFFu, device.BuildDate >> 16, (device.BuildDate >> 8) & 0xFFu,
                  device.BuildDate & 0xFFu);
    return text;
}

std::string PortText(uint16_t port) {
    return std::to_string(port);
}
