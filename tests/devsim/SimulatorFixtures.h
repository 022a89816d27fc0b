// SimulatorFixtures.h: what the simulator's tests share: fleet files written as text, and a
// table check of the members of its request log lines.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "DevsimProcess.h"

namespace quorlin::test {

inline std::string Fleet(const std::string& devices) {
    return "<Fleet>" + devices + "</Fleet>";
}

// A device of model `model` at `ip`, control port 34567 (Http 80, Rtsp 554), user admin with
// password pw; `more` elements follow its Model, and `behaviour` holds its Behaviour attributes.
inline std::string DeviceText(const std::string& model, const std::string& ip,
                              const std::string& serial, const std::string& more = "",
                              const std::string& behaviour = "") {
    return "<Device><Eth0 IP=\"" + ip + "\" Mask=\"255.0.0.0\" GW=\"127.0.0.1\" />" +
           "<Port Private=\"34567\" Http=\"80\" Rtsp=\"554\" /><SN A=\"" + serial +
           "\" /><User U=\"admin\" P=\"pw\" /><Model A=\"" + model + "\" />" + more +
           "<Behaviour " + behaviour + " /></Device>";
}

// One member expected in one log line: line `line` of the lines checked has `key` = `value`.
struct LoggedMember {
    std::size_t line;
    const char* key;
    const char* value;
};

// Checks every expected member against `lines` (the log lines of one event, in order).
inline void ExpectLogged(const std::vector<std::string>& lines,
                         std::initializer_list<LoggedMember> expected) {
    for (const LoggedMember& member : expected) {
        if (member.line >= lines.size()) {
            ADD_FAILURE() << "no line " << member.line << " for " << member.key;
            continue;
        }
        EXPECT_EQ(JsonField(lines[member.line], member.key), member.value)
            << "line " << member.line << ", " << member.key;
    }
}

}  // namespace quorlin::test
