#include "support/StringsResource.h"

#include <stdexcept>

#include <gtest/gtest.h>

using namespace Zovazaz;

TEST(StringsResourceIds, AreSetOnceAndMayRunAtMostTenPastTheEnd)
{
    StringsResource table;
    ASSERT_TRUE(table.SetId("zero", 0));
    EXPECT_FALSE(table.SetId("zero", 0));
    EXPECT_FALSE(table.SetId(WStringRef(u"other"), 0));
    EXPECT_STREQ(table.GetNarrowString(0), "zero");

    EXPECT_FALSE(table.SetId("too far", 12));
    EXPECT_EQ(table.GetSize(), 1u);
    EXPECT_TRUE(table.SetId("eleven", 11));
    EXPECT_EQ(table.GetSize(), 12u);
    EXPECT_EQ(table.GetNarrowString(5), nullptr);
    EXPECT_EQ(table.GetWideString(1000), nullptr);
    // A free slot inside the table can still be filled.
    EXPECT_TRUE(table.SetId(WStringRef(u"five"), 5));
    EXPECT_STREQ(table.GetNarrowString(5), "five");

    EXPECT_THROW(table.SetId(StringRef(), 1), std::invalid_argument);
    EXPECT_THROW(table.SetId(WStringRef(), 1), std::invalid_argument);
    EXPECT_THROW(table.GetOrAddString_(WStringRef()), std::invalid_argument);
}

// Each entry gets its other form once, unless it cannot have one; an invalid
// narrow text shows replacement characters.
TEST(StringsResourceForms, AreMadeOnceAndKeptAtTheirAddress)
{
    StringsResource table;
    table.SetId(WStringRef(u"Segment Length"), 0);
    table.SetId("Gr\xC3\xB6\xC3\x9F\x65", 1);       // \x65: 'e'
    table.SetId(WStringRef(u"\u00A9 Zizerevu"), 2); // narrow form is longer
    table.SetId("bad \xC0", 3);
    table.SetId("", 4);
    const auto wide = [&](std::uint32_t id)
    {
        const char16_t* text = table.GetWideString(id);
        return text ? std::u16string(text) : u"(none)";
    };

    const char* narrow = table.GetNarrowString(0);
    EXPECT_STREQ(narrow, "Segment Length");
    EXPECT_EQ(table.GetNarrowString(0), narrow);
    EXPECT_EQ(wide(1), u"Gr\u00F6\u00DFe");
    EXPECT_EQ(table.GetWideString(1), table.GetWideString(1));
    EXPECT_EQ(table.GetNarrowString(2), nullptr);
    EXPECT_EQ(wide(2), u"\u00A9 Zizerevu");
    EXPECT_EQ(wide(3), u"bad \uFFFD");
    EXPECT_EQ(wide(4), u"");
}

TEST(StringsResourceInterning, EqualTextsShareAnEntryWhoseTextNeverMoves)
{
    StringsResource table;
    table.SetId(WStringRef(u"Vimeo"), 0); // set by id: not interned
    const std::u16string text = u"Vimeo";
    const auto [id, first] = table.GetOrAddString_(text);
    EXPECT_EQ(id, 1u);
    EXPECT_NE(first, table.GetWideString(0));
    EXPECT_STREQ(table.GetNarrowString(id), "Vimeo");

    const auto prefix = table.GetOrAddString_(WStringRef(u"Vimeo", 3));
    EXPECT_NE(prefix.first, id);
    EXPECT_EQ(std::u16string(prefix.second), u"Vim");

    for (int i = 0; i < 200; ++i)
    {
        table.GetOrAddString_(std::u16string(u"text ") + static_cast<char16_t>(u'A' + i));
    }
    const std::u16string copy = text; // same content, other address
    EXPECT_EQ(table.GetOrAddString_(copy), std::make_pair(id, first));
    EXPECT_EQ(std::u16string(first), u"Vimeo");
}
