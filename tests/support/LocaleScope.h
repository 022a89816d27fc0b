// LocaleScope.h: runs a test under one locale's character set and restores the previous one.
#pragma once

#include <clocale>
#include <string>

class LocaleScope {
public:
    explicit LocaleScope(const char* name) : m_previous(std::setlocale(LC_CTYPE, nullptr)) {
        m_active = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~LocaleScope() { std::setlocale(LC_CTYPE, m_previous.c_str()); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

    bool Active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active = false;
};
