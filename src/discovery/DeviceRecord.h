// DeviceRecord.h: the device slot and the values the tool derives from a reported record.
//
// Every text field of a record is read within its width: a field the device filled to the
// last byte without a terminator is taken as that many bytes, never more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "ZQ_NetSDK.h"

// One device of the current pass: a whole copy of its report and the list row showing it.
struct DeviceSlot {
    DiscoveredDevice device;
    int32_t row;
};

constexpr int kMaxDeviceSlots = 250;

enum class DeviceType { Unknown, IPC, DVR, DEC, NVR };

// The bytes of a fixed-width text field up to its terminator or its width.
template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, ::strnlen(field, N));
}

// Stores a text in a fixed-width field, cut to width - 1 bytes, with a terminator.
template <std::size_t N>
void SetFieldText(char (&field)[N], std::string_view text) {
    const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// The first three characters of Model, compared case-sensitively.
DeviceType DeviceTypeOf(const DiscoveredDevice& device);

// The first four characters of SN (the whole of a shorter one).
std::string SerialPrefix(const DiscoveredDevice& device);

// "%02x:%02x:%02x:%02x:%02x:%02x" of the six octets.
std::string MacText(const uint8_t (&mac)[6]);

// "V%d.%d build %04d-%02d-%02d" of Version and BuildDate.
std::string VersionText(const DiscoveredDevice& device);

// A port in decimal, unsigned.
std::string PortText(uint16_t port);
