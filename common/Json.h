// Json.h: JSON text for the logs and the terminal output of the simulator and quorlin-scan.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorlin {

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

}  // namespace quorlin
