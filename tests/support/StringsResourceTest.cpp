#include "support/StringsResource.h"

#include <stdexcept>

#include <gtest/gtest.h>

using namespace Zovazaz;

TEST(StringsResourceIds, MayRunAtMostTenPastTheEnd)
{
    StringsResource table;
    ASSERT_TRUE(table.SetId("zero", 0));

    EXPECT_FALSE(table.SetId("too far", 12));
    EXPECT_EQ(table.GetSize(), 1u);

    EXPECT_TRUE(table.SetId("eleven", 11));
    EXPECT_EQ(table.GetSize(), 12u);
    for (std::uint32_t id = 1; id < 11; ++id)
    {
        EXPECT_EQ(table.GetNarrowString(id), nullptr) << id;
        EXPECT_EQ(table.GetWideString(id), nullptr) << id;
    }
    EXPECT_STREQ(table.GetNarrowString(11), "eleven");
}

TEST(StringsResourceIds, AreSetOnceEvenWithTheSameText)
{
    StringsResource table;
    ASSERT_TRUE(table.SetId("first", 0));

    EXPECT_FALSE(table.SetId("first", 0));
    EXPECT_FALSE(table.SetId(WStringRef(u"other"), 0));
    EXPECT_STREQ(table.GetNarrowString(0), "first");

    // A free slot inside the table can still be filled.
    ASSERT_TRUE(table.SetId("third", 2));
    EXPECT_TRUE(table.SetId(WStringRef(u"second"), 1));
}

TEST(StringsResourceIds, GettersPastTheEndGiveNull)
{
    StringsResource table;
    table.SetId("zero", 0);

    EXPECT_EQ(table.GetNarrowString(1), nullptr);
    EXPECT_EQ(table.GetWideString(1000), nullptr);
}

TEST(StringsResourceIds, NullTextIsAPreconditionFailure)
{
    StringsResource table;

    EXPECT_THROW(table.SetId(StringRef(), 0), std::invalid_argument);
    EXPECT_THROW(table.SetId(WStringRef(), 0), std::invalid_argument);
    EXPECT_THROW(table.GetOrAddString_(WStringRef()), std::invalid_argument);
    EXPECT_EQ(table.GetSize(), 0u);
}

TEST(StringsResourceForms, AWideEntryGetsItsNarrowFormOnceAndKeepsIt)
{
    StringsResource table;
    table.SetId(WStringRef(u"Segment Length"), 0);

    const char* narrow = table.GetNarrowString(0);
    ASSERT_NE(narrow, nullptr);
    EXPECT_STREQ(narrow, "Segment Length");
    EXPECT_EQ(table.GetNarrowString(0), narrow);
}

TEST(StringsResourceForms, ANarrowEntryGetsItsWideFormOnceAndKeepsIt)
{
    StringsResource table;
    table.SetId("Bitrate", 3);

    const char16_t* wide = table.GetWideString(3);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"Bitrate");
    EXPECT_EQ(table.GetWideString(3), wide);
}

TEST(StringsResourceForms, AWideTextWhoseNarrowFormIsLongerHasNoNarrowForm)
{
    StringsResource table;
    table.SetId(WStringRef(u"\u00A9 Zizerevu"), 0);

    EXPECT_EQ(table.GetNarrowString(0), nullptr);
    EXPECT_EQ(table.GetNarrowString(0), nullptr);
    EXPECT_EQ(std::u16string(table.GetWideString(0)), u"\u00A9 Zizerevu");
}

TEST(StringsResourceForms, AMultiByteNarrowTextGetsItsWholeWideForm)
{
    StringsResource table;
    table.SetId("Gr\xC3\xB6\xC3\x9F"
                "e",
                0);

    const char16_t* wide = table.GetWideString(0);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::u16string(wide), u"Gr\u00F6\u00DFe");
}

TEST(StringsResourceForms, AnInvalidNarrowTextShowsReplacementCharacters)
{
    StringsResource table;
    table.SetId("bad \xC0", 0);
    table.SetId("", 1);

    ASSERT_NE(table.GetWideString(0), nullptr);
    EXPECT_EQ(std::u16string(table.GetWideString(0)), u"bad \uFFFD");
    ASSERT_NE(table.GetWideString(1), nullptr);
    EXPECT_EQ(std::u16string(table.GetWideString(1)), u"");
}

TEST(StringsResourceInterning, EqualTextsGiveTheSameEntry)
{
    StringsResource table;
    const std::u16string first = u"Compression Viewer";
    const std::u16string second = first; // same content, other address

    const auto [firstId, firstText] = table.GetOrAddString_(first);
    const auto [secondId, secondText] = table.GetOrAddString_(second);

    EXPECT_EQ(firstId, secondId);
    EXPECT_EQ(firstText, secondText);
    EXPECT_EQ(table.GetWideString(firstId), firstText);
    EXPECT_STREQ(table.GetNarrowString(firstId), "Compression Viewer");
    EXPECT_EQ(table.GetSize(), 1u);
}

TEST(StringsResourceInterning, DifferentTextsAndPrefixesGetTheirOwnEntries)
{
    StringsResource table;

    const auto whole = table.GetOrAddString_(WStringRef(u"Vimeo"));
    const auto prefix = table.GetOrAddString_(WStringRef(u"Vimeo", 3));

    EXPECT_NE(whole.first, prefix.first);
    EXPECT_EQ(std::u16string(prefix.second), u"Vim");
}

TEST(StringsResourceInterning, TextsSetByIdAreNotInterned)
{
    StringsResource table;
    table.SetId(WStringRef(u"Ruzirazu"), 0);

    const auto [id, text] = table.GetOrAddString_(WStringRef(u"Ruzirazu"));

    EXPECT_EQ(id, 1u);
    EXPECT_NE(text, table.GetWideString(0));
    EXPECT_EQ(table.GetOrAddString_(WStringRef(u"Ruzirazu")).first, 1u);
}

TEST(StringsResourceInterning, HandedOutTextsSurviveTheTableGrowing)
{
    StringsResource table;
    const char16_t* first = table.GetOrAddString_(WStringRef(u"first")).second;
    for (int i = 0; i < 200; ++i)
    {
        table.GetOrAddString_(std::u16string(u"text ") + static_cast<char16_t>(u'A' + i));
    }

    EXPECT_EQ(std::u16string(first), u"first");
    EXPECT_EQ(table.GetOrAddString_(WStringRef(u"first")).second, first);
}

TEST(StringsResourceInstance, IsOneTableForTheProcess)
{
    EXPECT_EQ(&StringsResource::GetInstance(), &StringsResource::GetInstance());
}
