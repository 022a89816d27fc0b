#include "SensorLabel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Copies `text` into a field without adding a terminator, so a full-width text has none.
template <std::size_t N>
void Fill(char (&field)[N], const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

TEST(SensorLabel, ValueTable) {
    struct LabelCase {
        std::string value;
        const char* label;  // nullptr: the row keeps its text
    };
    const LabelCase cases[] = {
        {"OV9712", "QEMA 1Mpx"},
        {"IMX138", "QEMA 1.3Mpx"},
        {"IMX238", "QEMA 1.3Mpx"},
        {"OV9712-rev2 with a long tail", "QEMA 1Mpx"},  // only six bytes count
        {"IMX2381", "QEMA 1.3Mpx"},
        {"ov9712", nullptr},
        {"imx138", nullptr},
        {"IMX322", nullptr},
        {"OV971", nullptr},  // five bytes then the terminator
        {"", nullptr},
        {std::string(256, 'X'), nullptr},  // whole width, no terminator
        {"IMX238" + std::string(250, 'y'), "QEMA 1.3Mpx"},
    };
    for (const LabelCase& c : cases) {
        ZQ_ConfigEntry entry{};
        std::strcpy(entry.Name, "SensorModel");
        Fill(entry.Value, c.value);
        const char* label = SensorLabelFor(entry);
        if (c.label == nullptr) {
            EXPECT_EQ(label, nullptr) << c.value;
        } else {
            ASSERT_NE(label, nullptr) << c.value;
            EXPECT_STREQ(label, c.label) << c.value;
        }
    }
}

TEST(SensorLabel, EntryLookup) {
    struct LookupCase {
        const char* what;
        int at;  // entry given the name, -1 for none
        std::string name;
        int found;  // -1: no entry
    };
    const LookupCase cases[] = {
        {"first entry", 0, "SensorModel", 0},
        {"tenth entry", 9, "SensorModel", 9},
        {"letter case differs", 3, "sensormodel", -1},
        {"one letter differs in case", 3, "SensorMODEL", -1},
        {"name with a tail", 3, "SensorModel2", -1},
        {"prefix of the name", 3, "SensorMode", -1},
        {"no entry at all", -1, "", -1},
        // 48 bytes without a terminator: read within the field, never equal.
        {"unterminated name", 4, "SensorModel" + std::string(37, 'z'), -1},
    };
    for (const LookupCase& c : cases) {
        ZQ_ConfigBlock block{};
        for (int i = 0; i < ZQ_CONFIG_ENTRY_COUNT; ++i) {
            std::snprintf(block.Entry[i].Name, sizeof block.Entry[i].Name, "Param%d", i);
            std::strcpy(block.Entry[i].Value, "OV9712");
        }
        if (c.at >= 0) {
            std::memset(block.Entry[c.at].Name, 0, sizeof block.Entry[c.at].Name);
            Fill(block.Entry[c.at].Name, c.name);
        }
        const ZQ_ConfigEntry* entry = FindSensorModelEntry(block);
        if (c.found < 0) {
            EXPECT_EQ(entry, nullptr) << c.what;
            EXPECT_EQ(SensorLabel(block), nullptr) << c.what;
        } else {
            EXPECT_EQ(entry, &block.Entry[c.found]) << c.what;
            EXPECT_STREQ(SensorLabel(block), "QEMA 1Mpx") << c.what;
        }
    }
}

TEST(SensorLabel, OnlyTheFirstSensorModelEntryCounts) {
    ZQ_ConfigBlock block{};
    std::strcpy(block.Entry[2].Name, "SensorModel");
    std::strcpy(block.Entry[2].Value, "AR0130");
    std::strcpy(block.Entry[5].Name, "SensorModel");
    std::strcpy(block.Entry[5].Value, "IMX138");
    EXPECT_EQ(FindSensorModelEntry(block), &block.Entry[2]);
    EXPECT_EQ(SensorLabel(block), nullptr) << "the later, known sensor is never looked at";

    std::strcpy(block.Entry[2].Value, "OV9712");
    EXPECT_STREQ(SensorLabel(block), "QEMA 1Mpx");
}

}  // namespace
