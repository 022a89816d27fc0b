// AddressRules.h: the checks "Modify" makes before it sends a record, and the copy of the three
// edit boxes into the record.
#pragma once

#include <string_view>

#include "ZQ_NetSDK.h"

// A non-empty text of digits and dots with exactly three dots. Null fails.
bool IsAddressForm(const char* text);

// IsAddressForm, and each of the four groups is non-empty and at most 255 by its full value
// (leading zeros allowed, any number of digits).
bool IsValidAddress(const char* text);

// Copies an edit box's text into a 16-byte address field with its terminator. A text longer
// than 15 bytes is refused: false, and the field keeps what it held, so that a cut text is
// never sent as a different address.
bool CopyAddressText(char (&field)[16], std::string_view text);

// IsValidAddress on Eth0's IP, Mask, GW, DNS1 and DNS2, in that order, each read within its
// field; false at the first that fails.
bool HasValidWiredAddresses(const DiscoveredDevice& device);
