#include "NameTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string DataFile(const char* name) {
    const char* root = std::getenv("QUORLIN_TEST_DATA");
    return std::string(root != nullptr ? root : "tests/data") + "/config/" + name;
}

TEST(NameTable, EntriesOfTheFirstDeviceName) {
    NameTable table{{"stale", "from an earlier load"}};
    LoadNameTable(table, DataFile("names.xml").c_str());
    const NameTable expected{
        {"0262", "Dome camera"},              // the first of three entries with this key
        {"5001", "First recorder"},           // read past a comment and text between entries
        {"7777", "any element name counts"},  // its child entry is not read
        {"50012", "longer key"},              // loaded; it can never equal a 4-byte prefix
        {"C\xc3\xa9", "Cam\xc3\xa9ra \xe2\x82\xac"},  // UTF-8 bytes kept, not converted
        {"L1", "Lat\xe9n"},                           // a Latin-1 byte kept as it is
        {"", "empty key"},
        {"9000", ""},  // an empty value exists
        {"amp", "A & B"},
    };
    EXPECT_EQ(table, expected);
}

TEST(NameTable, FilesThatGiveNoEntries) {
    const char* const files[] = {
        "names-comment-first.xml",  // the first child of DeviceName must be an element
        "names-text-first.xml",     // ... and text is not one either
        "names-misspelt-root.xml", "names-misspelt-list.xml", "names-broken.xml", "empty.xml",
        "no-such-file.xml",
    };
    for (const char* file : files) {
        NameTable table{{"stale", "from an earlier load"}};
        LoadNameTable(table, DataFile(file).c_str());
        EXPECT_TRUE(table.empty()) << file;
    }
    NameTable table{{"stale", "x"}};
    LoadNameTable(table, nullptr);
    EXPECT_TRUE(table.empty());
}

TEST(NameTable, DefaultFileIsConfigXmlInTheCurrentDirectory) {
    // The tests run in their build directory, which has no Config.xml.
    NameTable table{{"stale", "x"}};
    LoadNameTable(table);
    EXPECT_TRUE(table.empty());
}

}  // namespace
