// LanguageTexts.h: the window's texts from "language.xml", converted from UTF-8 to the locale's
// code page (ConvertUtf8ToAnsi).
#pragma once

#include <array>
#include <cstddef>
#include <string>

struct LanguageTexts {
    static constexpr std::size_t kColumnTitleCount = 10;
    static constexpr std::size_t kControlTextCount = 5;

    std::string title;                                        // TitleName: the window caption
    std::array<std::string, kColumnTitleCount> columnTitles;  // ListCtrlColumnTitle's children
    // Buttons' children: button 1001, labels 1013, 1014, 1015, button 1007.
    std::array<std::string, kControlTextCount> controlTexts;
    std::string messageCaption;  // MessageCaption
    std::string successText;     // MessageOKText
    std::string failureText;     // MessageErrorText
};

// Fills the texts that `path` supplies; the others keep their values. Returns false, changing
// nothing, when the file cannot be opened or is not well-formed XML. Elements beyond the tenth
// column title or the fifth control text are ignored.
bool LoadLanguageTexts(LanguageTexts& texts, const char* path = "language.xml");
