#include "support/Text.h"

#include <gtest/gtest.h>

using namespace Zovazaz;

TEST(TextConversion, RoundTripsOutsideTheBasicPlaneAndEachBrokenSequenceBecomesOneReplacement)
{
    const std::string narrow = "Gr\xC3\xB6\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x8E\xAC"; // \x65: 'e'
    const WString wide = u"Gr\u00F6\u00DFe \u20AC \U0001F3AC";
    EXPECT_EQ(ToWide(narrow), wide);
    EXPECT_EQ(ToNarrow(wide), narrow);
    EXPECT_EQ(ToWide(StringRef("abcdef", 3)), u"abc");
    EXPECT_EQ(ToNarrow(WStringRef(u"abcdef", 2)), "ab");

    EXPECT_EQ(ToWide("\xC3\x28"), u"\uFFFD(");                          // lead without continuation
    EXPECT_EQ(ToWide("ok\xC0\xAF"), u"ok\uFFFD\uFFFD");                 // overlong '/'
    EXPECT_EQ(ToWide("\xFF\x41\x41\x41"), u"\uFFFDAAA");                // never a lead byte
    EXPECT_EQ(ToWide("ok\xE2\x82"), u"ok\uFFFD");                       // cut short at the end
    EXPECT_EQ(ToWide("\xE2\x82x\xE2\x82\xAC"), u"\uFFFDx\u20AC");       // cut short inside
    EXPECT_EQ(ToWide("\xED\xA0\x80!"), u"\uFFFD\uFFFD\uFFFD!");         // encoded surrogate
    EXPECT_EQ(ToWide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD"); // past U+10FFFF
    EXPECT_EQ(ToWide("ok\x80"), u"ok\uFFFD");                           // stray continuation

    const char16_t highAlone[] = {u'a', 0xD83C, u'b', 0};
    const char16_t lowAlone[] = {u'a', 0xDFAC, 0};
    const char16_t highAtEnd[] = {u'a', 0xD83C, 0};
    EXPECT_EQ(ToNarrow(highAlone), "a\xEF\xBF\xBD\x62"); // \x62: 'b'
    EXPECT_EQ(ToNarrow(lowAlone), "a\xEF\xBF\xBD");
    EXPECT_EQ(ToNarrow(highAtEnd), "a\xEF\xBF\xBD");

    EXPECT_EQ(ToCodePoints("\xC3\xA9\xC0\xAF\xF0\x9F\x98\x80"),
              (std::u32string{0xE9, 0xFFFD, 0xFFFD, 0x1F600}));
    EXPECT_EQ(ToCodePoints(highAlone), (std::u32string{U'a', 0xFFFD, U'b'}));
    EXPECT_EQ(ToCodePoints(u"a\U0001F600b"), (std::u32string{U'a', 0x1F600, U'b'}));
}
