#include "TextConversion.h"

#include <gtest/gtest.h>

#include "LocaleScope.h"

namespace {

TEST(ConvertUtf8ToAnsi, AsciiIsUnchanged) {
    LocaleScope scope("C");
    EXPECT_EQ(ConvertUtf8ToAnsi("Quorlin V3.0"), "Quorlin V3.0");
    EXPECT_EQ(ConvertUtf8ToAnsi(""), "");
}

TEST(ConvertUtf8ToAnsi, LatinOneKeepsAccentsAndReplacesTheRest) {
    // scripts/test generates this locale on machines that lack it.
    LocaleScope scope("en_US.ISO-8859-1");
    ASSERT_TRUE(scope.Active()) << "the en_US.ISO-8859-1 locale is missing";
    // "Café €" : é is in Latin-1 (0xE9), the euro sign is not.
    EXPECT_EQ(ConvertUtf8ToAnsi("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 ?");
}

TEST(ConvertUtf8ToAnsi, MalformedInputBecomesDefaultCharacter) {
    LocaleScope scope("C");
    EXPECT_EQ(ConvertUtf8ToAnsi("a\xFF"
                                "b"),
              "a?b");
    EXPECT_EQ(ConvertUtf8ToAnsi("a\xC3"), "a?");
}

}  // namespace
