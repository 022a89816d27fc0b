// quorlin-scan: one discovery pass through the SDK from a terminal. Prints one line per
// report with the device list's ten columns, tab-separated (or one JSON object per line with
// --json), then the number of reports.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "DeviceRecord.h"
#include "Json.h"
#include "ZQ_NetSDK.h"

namespace {

struct Scan {
    bool json = false;
    int found = 0;
};

// A cell for a tab-separated line: control characters would break the columns.
std::string Cell(std::string_view text) {
    std::string cell(text);
    for (char& c : cell) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return cell;
}

void OnReport(const DiscoveredDevice* device, void* context) {
    auto& scan = *static_cast<Scan*>(context);
    if (!device)
        return;
    ++scan.found;
    const std::string columns[10] = {
        std::string(FieldText(device->SN)),
        std::string(FieldText(device->Model)),
        MacText(device->Eth0.MAC),
        std::string(FieldText(device->Eth0.IP)),
        std::string(FieldText(device->Eth0.Mask)),
        std::string(FieldText(device->Eth0.GW)),
        PortText(device->Port.Private),
        PortText(device->Port.Http),
        PortText(device->Port.Rtsp),
        VersionText(*device),
    };
    static const char* const kNames[10] = {"SN",       "Model",   "MAC",         "LocalIP",
                                           "NetMask",  "Gateway", "ControlPort", "HttpPort",
                                           "RtspPort", "Version"};
    std::string line;
    if (scan.json) {
        quorlin::JsonObject object;
        for (int i = 0; i < 10; ++i)
            object.Add(kNames[i], columns[i]);
        line = object.Text();
    } else {
        for (int i = 0; i < 10; ++i) {
            if (i > 0)
                line += '\t';
            line += Cell(columns[i]);
        }
    }
    line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Scan scan;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            scan.json = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::puts(
                "usage: quorlin-scan [--json]\n"
                "One discovery pass: a line per report (SN, Model, MAC, LocalIP, NetMask, "
                "Gateway,\n"
                "ControlPort, HttpPort, RtspPort, Version; tab-separated, or JSON with --json),\n"
                "then the number found. The SDK's ZQ_NETSDK_* variables choose where it looks.");
            return 0;
        } else {
            std::fprintf(stderr, "quorlin-scan: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    ZQ_NET_DVR_Init();
    ZQ_NET_DVR_SetDiscoveryCallBack(OnReport, &scan);
    ZQ_NET_DVR_StartDiscoveryIPC();
    ZQ_NET_DVR_Cleanup();
    if (scan.json) {
        std::printf("{\"found\":%d}\n", scan.found);
    } else {
        std::printf("found %d\n", scan.found);
    }
    return 0;
}
