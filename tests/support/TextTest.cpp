#include "support/Text.h"

#include <gtest/gtest.h>

using namespace Zovazaz;

TEST(TextConversion, RoundTripsAsciiAccentsAndCharactersOutsideTheBasicPlane)
{
    const std::string narrow = "Gr\xC3\xB6\xC3\x9F"
                               "e \xE2\x82\xAC \xF0\x9F\x8E\xAC";
    const WString wide = u"Gr\u00F6\u00DFe \u20AC \U0001F3AC";

    EXPECT_EQ(ToWide(narrow), wide);
    EXPECT_EQ(ToNarrow(wide), narrow);
    EXPECT_EQ(ToWide("plain"), u"plain");
    EXPECT_EQ(ToNarrow(u"plain"), "plain");
}

TEST(TextConversion, ConvertsOnlyTheGivenLength)
{
    EXPECT_EQ(ToWide(StringRef("abcdef", 3)), u"abc");
    EXPECT_EQ(ToNarrow(WStringRef(u"abcdef", 2)), "ab");
}

TEST(TextConversion, InvalidNarrowTextGivesEmpty)
{
    EXPECT_EQ(ToWide("ok\xC0\xAF"), u"");         // overlong '/'
    EXPECT_EQ(ToWide("ok\xE2\x82"), u"");         // cut short
    EXPECT_EQ(ToWide("ok\xED\xA0\x80"), u"");     // encoded surrogate
    EXPECT_EQ(ToWide("ok\xF4\x90\x80\x80"), u""); // past U+10FFFF
    EXPECT_EQ(ToWide("ok\x80"), u"");             // stray continuation byte
}

TEST(TextConversion, UnpairedSurrogatesGiveEmpty)
{
    const char16_t highAlone[] = {u'a', 0xD83C, u'b', 0};
    const char16_t lowAlone[] = {u'a', 0xDFAC, 0};
    const char16_t highAtEnd[] = {u'a', 0xD83C, 0};

    EXPECT_EQ(ToNarrow(highAlone), "");
    EXPECT_EQ(ToNarrow(lowAlone), "");
    EXPECT_EQ(ToNarrow(highAtEnd), "");
}

TEST(TextConversion, EmptyAndNullTextGiveEmpty)
{
    EXPECT_EQ(ToWide(StringRef()), u"");
    EXPECT_EQ(ToNarrow(WStringRef()), "");
    EXPECT_EQ(ToWide(""), u"");
}

TEST(TrimText, RemovesSetCharactersFromBothEndsOnlyAndPointsIntoTheText)
{
    const char* text = " \t a b \r\n";
    const StringRef trimmed = TrimText(text, " \t\r\n");

    EXPECT_EQ(trimmed.View(), "a b");
    EXPECT_EQ(trimmed.data(), text + 3);
}

TEST(TrimText, TextMadeOnlyOfSetCharactersBecomesEmpty)
{
    EXPECT_TRUE(TrimText("  \t", " \t").empty());
    EXPECT_EQ(TrimText(WStringRef(u"--x--"), WStringRef(u"-")).View(), u"x");
}

TEST(TrimText, NullTextGivesNullResult)
{
    const StringRef trimmed = TrimText(StringRef(), " ");

    EXPECT_TRUE(trimmed.IsNull());
    EXPECT_TRUE(trimmed.empty());
}
