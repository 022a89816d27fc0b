#include "LanguageTexts.h"

#include <gtest/gtest.h>

#include "LocaleScope.h"

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

std::string DataFile(const char* name) {
    const char* root = std::getenv("QUORLIN_TEST_DATA");
    return std::string(root != nullptr ? root : "tests/data") + "/config/" + name;
}

LanguageTexts Marked() {
    LanguageTexts texts;
    texts.title = "old title";
    for (auto& t : texts.columnTitles)
        t = "old column";
    for (auto& t : texts.controlTexts)
        t = "old control";
    texts.messageCaption = "old caption";
    texts.successText = "old success";
    texts.failureText = "old failure";
    return texts;
}

void ExpectTexts(const LanguageTexts& texts, const LanguageTexts& expected) {
    EXPECT_EQ(texts.title, expected.title);
    for (std::size_t i = 0; i < LanguageTexts::kColumnTitleCount; ++i) {
        EXPECT_EQ(texts.columnTitles[i], expected.columnTitles[i]) << "column title " << i;
    }
    for (std::size_t i = 0; i < LanguageTexts::kControlTextCount; ++i) {
        EXPECT_EQ(texts.controlTexts[i], expected.controlTexts[i]) << "control text " << i;
    }
    EXPECT_EQ(texts.messageCaption, expected.messageCaption);
    EXPECT_EQ(texts.successText, expected.successText);
    EXPECT_EQ(texts.failureText, expected.failureText);
}

TEST(LanguageTexts, FullFileUnderLatin1) {
    LocaleScope scope("en_US.ISO-8859-1");
    ASSERT_TRUE(scope.Active()) << "the en_US.ISO-8859-1 locale is missing";
    LanguageTexts texts;
    ASSERT_TRUE(LoadLanguageTexts(texts, DataFile("language.xml").c_str()));

    LanguageTexts expected;
    expected.title = "Quorlin R\xe9seau";
    const char* const columns[] = {"Num\xe9ro",
                                   "",  // an empty element: no text, the next still counts
                                   "Adresse MAC",
                                   "IP <locale>",  // CDATA is text
                                   "",             // first child an element: no text
                                   "Masque",
                                   "",  // first child a comment: no text
                                   "HTTP",
                                   "RTSP",
                                   "Version"};
    for (std::size_t i = 0; i < LanguageTexts::kColumnTitleCount; ++i) {
        expected.columnTitles[i] = columns[i];
    }
    const char* const controls[] = {"Recherche", "Adresse IP locale", "Masque r\xe9seau",
                                    "Passerelle", "Modifier"};
    for (std::size_t i = 0; i < LanguageTexts::kControlTextCount; ++i) {
        expected.controlTexts[i] = controls[i];
    }
    expected.messageCaption = "Quorlin";
    expected.successText = "R\xe9ussi";
    expected.failureText =
        "\xc9"
        "chec";
    ExpectTexts(texts, expected);
}

TEST(LanguageTexts, UnsuppliedTextsKeepTheirValues) {
    LocaleScope scope("C.UTF-8");
    LanguageTexts texts;
    ASSERT_TRUE(LoadLanguageTexts(texts, DataFile("language-title-only.xml").c_str()));
    LanguageTexts expected;
    expected.title = "Only a title";
    ExpectTexts(texts, expected);

    texts = Marked();
    ASSERT_TRUE(LoadLanguageTexts(texts, DataFile("language-title-only.xml").c_str()));
    expected = Marked();
    expected.title = "Only a title";
    ExpectTexts(texts, expected);
}

TEST(LanguageTexts, ThreeColumnTitlesAndAButtonsListStartingWithAComment) {
    LocaleScope scope("C.UTF-8");
    LanguageTexts texts;
    ASSERT_TRUE(LoadLanguageTexts(texts, DataFile("language-three-columns.xml").c_str()));
    const std::array<std::string, LanguageTexts::kColumnTitleCount> columns{"SN", "Model", "MAC"};
    EXPECT_EQ(texts.columnTitles, columns);
    LanguageTexts rest = texts;
    rest.columnTitles = {};
    ExpectTexts(rest, LanguageTexts{});
}

TEST(LanguageTexts, MisspeltRootLoadsWithNoText) {
    LanguageTexts texts;
    EXPECT_TRUE(LoadLanguageTexts(texts, DataFile("language-misspelt-root.xml").c_str()));
    ExpectTexts(texts, LanguageTexts{});
}

TEST(LanguageTexts, UnreadableFilesChangeNothing) {
    const char* const files[] = {"language-broken.xml", "empty.xml", "no-such-file.xml"};
    for (const char* file : files) {
        LanguageTexts texts = Marked();
        EXPECT_FALSE(LoadLanguageTexts(texts, DataFile(file).c_str())) << file;
        ExpectTexts(texts, Marked());
    }
    LanguageTexts texts = Marked();
    EXPECT_FALSE(LoadLanguageTexts(texts, nullptr));
    // The tests run in their build directory, which has no language.xml.
    EXPECT_FALSE(LoadLanguageTexts(texts));
    ExpectTexts(texts, Marked());
}

TEST(LanguageTexts, TitleOutsideTheCodePage) {
    struct LocaleCase {
        const char* locale;
        const char* title;
    };
    // "Café crème — 5 €": the accents are in Latin-1, the dash and the euro sign are not.
    const LocaleCase cases[] = {
        {"en_US.ISO-8859-1", "Caf\xe9 cr\xe8me ? 5 ?"},
        {"C", "Caf? cr?me ? 5 ?"},
        {"C.UTF-8", "Caf\xc3\xa9 cr\xc3\xa8me \xe2\x80\x94 5 \xe2\x82\xac"},
    };
    for (const LocaleCase& c : cases) {
        LocaleScope scope(c.locale);
        ASSERT_TRUE(scope.Active()) << c.locale;
        LanguageTexts texts;
        ASSERT_TRUE(LoadLanguageTexts(texts, DataFile("language-latin1.xml").c_str()));
        EXPECT_EQ(texts.title, c.title) << c.locale;
    }
}

}  // namespace
