#include "AddressRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct AddressCase {
    const char* text;
    bool form;   // IsAddressForm
    bool valid;  // IsValidAddress
};

const AddressCase kAddressCases[] = {
    {"192.168.1.10", true, true},
    {"0.0.0.0", true, true},
    {"255.255.255.255", true, true},
    {"001.002.003.004", true, true},  // leading zeros stay accepted
    {"0000000000255.1.1.1", true, true},
    {"127.0.0.1", true, true},
    // A group must hold a digit: an empty one is not read as 0.
    {"1..2.3", true, false},
    {"...", true, false},
    {"1.2.3.", true, false},
    {".1.2.3", true, false},
    {"", false, false},
    {"1.2.3", false, false},
    {"1.2.3.4.5", false, false},
    {"256.1.1.1", true, false},
    {"1.2.3.256", true, false},
    {"1.2.300.4", true, false},
    {"4294967296...", true, false},               // 2^32, empty groups aside
    {"4294967296.1.1.1", true, false},            // 2^32 wraps to 0 in 32 bits
    {"4294967551.1.1.1", true, false},            // 2^32 + 255
    {"18446744073709551616.1.1.1", true, false},  // 2^64
    {"1.2.3.99999999999999999999999", true, false},
    {" 1.2.3.4", false, false},
    {"1.2.3.4 ", false, false},
    {"1.2.3.4/24", false, false},
    {"a.b.c.d", false, false},
    {"1.2.3.-4", false, false},
    {"1.2.3.+4", false, false},
    {"0x1.2.3.4", false, false},
};

TEST(AddressRules, Table) {
    for (const AddressCase& c : kAddressCases) {
        EXPECT_EQ(IsAddressForm(c.text), c.form) << '"' << c.text << '"';
        EXPECT_EQ(IsValidAddress(c.text), c.valid) << '"' << c.text << '"';
    }
    EXPECT_FALSE(IsAddressForm(nullptr));
    EXPECT_FALSE(IsValidAddress(nullptr));
}

TEST(AddressRules, CopyRefusesTextsLongerThanFifteen) {
    struct CopyCase {
        std::string text;
        bool copied;
    };
    const CopyCase cases[] = {
        {"192.168.100.100", true},  // 15: fits with its terminator
        {"", true},
        {"192.168.100.1000", false},  // 16: would be cut to 192.168.100.100 and sent as that
        {std::string(200, '1'), false},
    };
    for (const CopyCase& c : cases) {
        char field[16];
        std::memset(field, 'x', sizeof field);
        std::memcpy(field, "10.0.0.1", 9);
        const bool copied = CopyAddressText(field, c.text);
        EXPECT_EQ(copied, c.copied) << c.text;
        if (c.copied) {
            EXPECT_STREQ(field, c.text.c_str());
        } else {
            EXPECT_STREQ(field, "10.0.0.1") << "a refused copy leaves the field as it was";
            EXPECT_EQ(field[15], 'x');
        }
    }
}

DiscoveredDevice WiredDevice() {
    DiscoveredDevice device{};
    std::strcpy(device.Eth0.IP, "127.0.0.2");
    std::strcpy(device.Eth0.Mask, "255.0.0.0");
    std::strcpy(device.Eth0.GW, "127.0.0.1");
    std::strcpy(device.Eth0.DNS1, "127.0.0.53");
    std::strcpy(device.Eth0.DNS2, "0.0.0.0");
    return device;
}

TEST(AddressRules, AllFiveWiredAddressesAreChecked) {
    EXPECT_TRUE(HasValidWiredAddresses(WiredDevice()));
    EXPECT_FALSE(HasValidWiredAddresses(DiscoveredDevice{})) << "no row loaded: every field empty";

    char(NetInterface::*const fields[])[16] = {&NetInterface::IP, &NetInterface::Mask,
                                               &NetInterface::GW, &NetInterface::DNS1,
                                               &NetInterface::DNS2};
    for (auto field : fields) {
        DiscoveredDevice empty = WiredDevice();
        std::memset(empty.Eth0.*field, 0, 16);
        EXPECT_FALSE(HasValidWiredAddresses(empty));

        DiscoveredDevice bad = WiredDevice();
        std::strcpy(bad.Eth0.*field, "1.2.3.256");
        EXPECT_FALSE(HasValidWiredAddresses(bad));
    }

    // Other interfaces are not the wired one's business.
    DiscoveredDevice other = WiredDevice();
    std::strcpy(other.Wifi.IP, "bad");
    EXPECT_TRUE(HasValidWiredAddresses(other));
}

TEST(AddressRules, UnterminatedFieldIsReadWithinItsWidth) {
    DiscoveredDevice device = WiredDevice();
    // Sixteen characters and no terminator: read as those sixteen, never into Mask beyond.
    std::memcpy(device.Eth0.IP, "1.1.1.1111111111", 16);
    EXPECT_FALSE(HasValidWiredAddresses(device));
    std::memcpy(device.Eth0.IP, "001.002.003.0004", 16);
    EXPECT_TRUE(HasValidWiredAddresses(device));
}

}  // namespace
