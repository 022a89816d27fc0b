#include "Json.h"

#include <cstdio>

namespace quorlin {

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

}  // namespace quorlin
