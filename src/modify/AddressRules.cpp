#include "AddressRules.h"

#include <cstring>

#include "DeviceRecord.h"

namespace {

bool HasAddressForm(std::string_view text) {
    if (text.empty())
        return false;
    int dots = 0;
    for (char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dots == 3;
}

bool IsValidAddressText(std::string_view text) {
    if (!HasAddressForm(text))
        return false;
    // Four groups between the three dots; each needs a digit and a value of at most 255. A
    // group is refused as soon as its value passes 255, so one of any length is judged by its
    // full value without overflow.
    unsigned value = 0;
    bool groupHasDigit = false;
    for (char c : text) {
        if (c == '.') {
            if (!groupHasDigit)
                return false;
            value = 0;
            groupHasDigit = false;
            continue;
        }
        groupHasDigit = true;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 255)
            return false;
    }
    return groupHasDigit;
}

}  // namespace

bool IsAddressForm(const char* text) {
    return text != nullptr && HasAddressForm(text);
}

bool IsValidAddress(const char* text) {
    return text != nullptr && IsValidAddressText(text);
}

bool CopyAddressText(char (&field)[16], std::string_view text) {
    if (text.size() > sizeof field - 1)
        return false;
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
    return true;
}

bool HasValidWiredAddresses(const DiscoveredDevice& device) {
    const NetInterface& eth0 = device.Eth0;
    for (std::string_view address : {FieldText(eth0.IP), FieldText(eth0.Mask), FieldText(eth0.GW),
                                     FieldText(eth0.DNS1), FieldText(eth0.DNS2)}) {
        if (!IsValidAddressText(address))
            return false;
    }
    return true;
}
