#include "JsonLog.h"

#include <cerrno>
#include <cstring>

#include "DeviceRecord.h"

namespace quorlin::devsim {

namespace {

JsonObject InterfaceJson(const NetInterface& itf) {
    JsonObject object;
    object.Add("IP", FieldText(itf.IP))
        .Add("Mask", FieldText(itf.Mask))
        .Add("GW", FieldText(itf.GW))
        .Add("DNS1", FieldText(itf.DNS1))
        .Add("DNS2", FieldText(itf.DNS2))
        .Add("MAC", MacText(itf.MAC));
    return object;
}

}  // namespace

JsonObject RecordJson(const DiscoveredDevice& r) {
    JsonObject port;
    port.Add("Private", int64_t{r.Port.Private})
        .Add("Http", int64_t{r.Port.Http})
        .Add("Rtsp", int64_t{r.Port.Rtsp});
    JsonObject user;
    user.Add("U", FieldText(r.User.U)).Add("P", FieldText(r.User.P));
    JsonObject object;
    object.Add("Eth0", InterfaceJson(r.Eth0))
        .Add("Wifi", InterfaceJson(r.Wifi))
        .Add("G3", InterfaceJson(r.G3))
        .Add("Port", port)
        .Add("SN", FieldText(r.SN))
        .Add("User", user)
        .Add("Model", FieldText(r.Model))
        .Add("Version", int64_t{r.Version})
        .Add("BuildDate", int64_t{r.BuildDate})
        .Add("VersionText", VersionText(r));
    return object;
}

JsonLog::~JsonLog() {
    if (m_file)
        std::fclose(m_file);
}

bool JsonLog::Open(const std::string& path, std::string& error) {
    m_file = std::fopen(path.c_str(), "w");
    if (!m_file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    m_start = std::chrono::steady_clock::now();
    return true;
}

void JsonLog::Write(std::string_view event, const JsonObject& line) {
    if (!m_file)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - m_start)
                        .count();
    std::string text;
    text.reserve(64 + line.Text().size());
    text.append("{\"ms\":").append(std::to_string(ms)).append(",\"event\":");
    text.append(JsonString(event));
    const std::string members = line.Text();
    if (members.size() > 2)
        text.append(",").append(members, 1, members.size() - 2);
    text.append("}\n");
    std::fwrite(text.data(), 1, text.size(), m_file);
    std::fflush(m_file);
}

}  // namespace quorlin::devsim
