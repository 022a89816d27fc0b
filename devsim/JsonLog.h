// JsonLog.h: the request log, one JSON object per line, flushed line by line so that a test
// reading the file sees every request the simulator has answered.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "Json.h"
#include "ZQ_NetSDK.h"

namespace quorlin::devsim {

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
