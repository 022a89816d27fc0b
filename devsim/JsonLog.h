// JsonLog.h: the request log, one JSON object per line, flushed line by line so that a test
// reading the file sees every request the simulator has answered.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "ZQ_NetSDK.h"

namespace quorlin::devsim {

// A JSON string literal of a byte string. Bytes are taken as Latin-1, so any input gives
// valid UTF-8 JSON and no byte is lost.
std::string JsonString(std::string_view bytes);

// Builds one object, members in the order added.
class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view text);
    JsonObject& Add(std::string_view key, const char* text) {
        return Add(key, std::string_view(text));
    }
    JsonObject& Add(std::string_view key, int64_t number);
    JsonObject& Add(std::string_view key, bool value);
    JsonObject& Add(std::string_view key, const JsonObject& object);
    std::string Text() const;

private:
    void Key(std::string_view key);
    std::string m_members;
};

// Every field of a record, texts read within their widths.
JsonObject RecordJson(const DiscoveredDevice& record);

class JsonLog {
public:
    JsonLog() = default;
    ~JsonLog();
    JsonLog(const JsonLog&) = delete;
    JsonLog& operator=(const JsonLog&) = delete;

    // Opens (truncating) the log file; without a call nothing is logged.
    bool Open(const std::string& path, std::string& error);

    // Writes `line` with the milliseconds since the log was opened as its first member.
    void Write(std::string_view event, const JsonObject& line);

private:
    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace quorlin::devsim
