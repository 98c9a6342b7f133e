// The text helpers every layer shares.
#include "base/Text.h"

#include <gtest/gtest.h>

#include "base/WideText.h"

TEST(Text, LowerMakesOnlyAsciiCapitalsSmall) {
    struct TCase {
        ByteString Text, Lowered;
    };
    const TCase cases[] = {
        {"", ""},
        {"Content-Type", "content-type"},
        {"AZ@[`az{", "az@[`az{"},
        {"ISO-8859-1", "iso-8859-1"},
        {"\xC3\x84Rger", "\xC3\x84rger"},  // the bytes of a UTF-8 capital stay as they are
        {"\xC4", "\xC4"},
        {ByteString("A\0B", 3), ByteString("a\0b", 3)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(Lower(c.Text), c.Lowered);
    }
}

TEST(Text, IntegerValueFollowsTheIntegerTextRule) {
    struct TCase {
        ByteString Text;
        int32_t Value;
    };
    const TCase cases[] = {
        {"42", 42},         {"  -7", -7}, {"$ff", 255}, {"0x10", 16}, {"2147483647", 2147483647},
        {"2147483648", -1}, {"12 ", -1},  {"", -1},     {"abc", -1},  {"-", -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(IntegerValue(c.Text, -1), c.Value);
    }
    EXPECT_EQ(IntegerValue("junk", 1000), 1000);
}

TEST(Text, Utf8LengthCountsTheSequenceALeadByteBegins) {
    struct TCase {
        unsigned char Lead;
        size_t Length;
    };
    // A continuation byte or an invalid lead begins nothing: a walk moves on by one.
    const TCase cases[] = {
        {0x00, 1}, {'a', 1},  {0x7F, 1}, {0x80, 1}, {0xBF, 1}, {0xC3, 2}, {0xDF, 2},
        {0xE2, 3}, {0xEF, 3}, {0xF0, 4}, {0xF4, 4}, {0xF8, 1}, {0xFF, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Lead));
        EXPECT_EQ(Utf8Length(c.Lead), c.Length);
    }
}

TEST(Text, FromUtf8ReadsDocumentsAsUtf8WhateverTheLocale) {
    EXPECT_EQ(FromUtf8(std::string("Gr\xC3\xBC\xC3\x9F"
                                   "e")),
              QString::fromUtf16(u"Gr\u00FC\u00DFe"));
    EXPECT_EQ(FromUtf8(std::string("a\0b", 3)).size(), 3);
    EXPECT_EQ(FromUtf8(static_cast<const char*>(nullptr)), QString());
    EXPECT_EQ(FromUtf8("\xE2\x82\xAC"), QString(QChar(0x20AC)));
}
