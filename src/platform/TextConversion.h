// TextConversion.h: UTF-8 to the system's ANSI code page (the locale's character set).
#pragma once

#include <string>

// The text in the code page of the current locale's LC_CTYPE. Characters the code page lacks,
// and malformed UTF-8 sequences, become its default character '?'.
std::string ConvertUtf8ToAnsi(const char* utf8);
