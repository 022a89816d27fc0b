#include "JsonLog.h"

#include <cerrno>
#include <cstring>

#include "DeviceRecord.h"

namespace quorlin::devsim {

std::string JsonString(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else if (byte >= 0x80) {
            // Latin-1 to UTF-8.
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string JsonObject::Text() const {
    std::string text;
    text.reserve(m_members.size() + 2);
    text.push_back('{');
    text.append(m_members);
    text.push_back('}');
    return text;
}

void JsonObject::Key(std::string_view key) {
    if (!m_members.empty())
        m_members += ',';
    m_members += JsonString(key);
    m_members += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view text) {
    Key(key);
    m_members += JsonString(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t number) {
    Key(key);
    m_members += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key);
    m_members += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const JsonObject& object) {
    Key(key);
    m_members += object.Text();
    return *this;
}

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
