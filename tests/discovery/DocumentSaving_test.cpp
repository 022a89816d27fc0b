// The file a pass writes after each append is the text TinyXML's own SaveFile gives for the same
// tree, append after append: compared against a document loaded from the previous file (which
// is always saved by SaveFile) and given the same next report.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DeviceRecord.h"
#include "DiscoveryDocument.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

DiscoveredDevice Report(int n) {
    DiscoveredDevice device{};
    // Texts that TinyXML escapes, quotes differently or that fill their field.
    const char* const serials[] = {"NVR-1", "A&B<C>", "quote\"d", "apos'trophe",
                                   "0123456789012345678901234567890123456789012345678"};
    SetFieldText(device.SN, serials[n % 5]);
    std::snprintf(device.Eth0.IP, sizeof device.Eth0.IP, "127.46.0.%d", n + 2);
    SetFieldText(device.Eth0.Mask, "255.0.0.0");
    SetFieldText(device.User.U, n % 2 ? "admin" : "");
    SetFieldText(device.User.P, "p<w>&\"'");
    SetFieldText(device.Model, "NVR-0800");
    device.Eth0.MAC[5] = static_cast<uint8_t>(n);
    device.Port.Private = static_cast<uint16_t>(n == 3 ? 65535 : 8000 + n);
    if (n == 4)
        std::memset(device.Wifi.IP, '9', sizeof device.Wifi.IP);  // no terminator
    return device;
}

TEST(DocumentSaving, EveryRewriteEqualsTinyXmlsOwnSaveOfTheSameTree) {
    const fs::path folder =
        fs::temp_directory_path() / ("quorlin-saving-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string pass = (folder / "pass.xml").string();
    const std::string reference = (folder / "reference.xml").string();

    DiscoveryDocument document(pass);
    document.Reset();
    for (int n = 0; n < 12; ++n) {
        DiscoveryDocument loaded(reference);
        if (n > 0) {
            ASSERT_TRUE(loaded.LoadFrom(pass)) << n;
        } else {
            loaded.Reset();
        }
        loaded.Append(Report(n));
        document.Append(Report(n));
        ASSERT_EQ(ReadFile(pass), ReadFile(reference)) << "after append " << n;
    }
    fs::remove_all(folder);
}

}  // namespace
