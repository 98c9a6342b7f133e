#include <gtest/gtest.h>

#include "exchange/UtilsUnit.h"

namespace {

using namespace std::string_literals;

struct IntegerCase {
    std::string text;
    bool valid;
    int32_t value;
};

TEST(IntegerText, FollowsTheOneRule) {
    const IntegerCase cases[] = {
        {"0", true, 0},
        {"42", true, 42},
        {"   42", true, 42},
        {"+7", true, 7},
        {"-7", true, -7},
        {"  -0012", true, -12},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999", false, 0},
        {"$1F", true, 31},
        {"x1f", true, 31},
        {"X1F", true, 31},
        {"0x1F", true, 31},
        {"0XaB", true, 171},
        {"$FFFFFFFF", true, -1},
        {"0x80000000", true, INT32_MIN},
        {"0x7FFFFFFF", true, INT32_MAX},
        {"$0000000FF", true, 255},
        {"$100000000", false, 0},
        {"-$10", true, -16},
        {"+0x10", true, 16},
        {"-$FFFFFFFF", true, 1},
        {"$-10", false, 0},
        {"42 ", false, 0},
        {"4 2", false, 0},
        {"\t42", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"0x", false, 0},
        {"+-1", false, 0},
        {"1e3", false, 0},
        {"0x1G", false, 0},
        {"12\0"s, false, 0},
    };
    for (const auto& c : cases) {
        int32_t value = 12345;
        EXPECT_EQ(IsIntegerText(c.text, value), c.valid) << '"' << c.text << '"';
        if (c.valid) {
            EXPECT_EQ(value, c.value) << '"' << c.text;
        }
    }
}

TEST(Trim, RemovesControlBytesAndBlanksAtBothEnds) {
    EXPECT_EQ(Trim("\0\t\r\n x y \x1f\x20"s), "x y");
    EXPECT_EQ(Trim(" \x01 "), "");
    EXPECT_EQ(Trim("\x21!\x21"), "!!!");
    EXPECT_EQ(Trim("a\x7f"), "a\x7f");
    EXPECT_EQ(Trim("\xe9"), "\xe9");
}

struct FieldListCase {
    std::string text;
    std::vector<std::string> strings;
};

TEST(ParseFieldList, DecodesTheWorkedExamples) {
    const FieldListCase cases[] = {
        {"15Delay210", {"Delay", "10"}},
        {"205Index024206Header05Hello05Title03Hi!07Message99HelloWorld",
         {"Index", "42", "Header", "Hello", "Title", "Hi!", "Message", "HelloWorld"}},
        {"3  5Delay  230xyz", {"Delay", "30"}},
        {"16Dela", {"Dela"}},
        {"15Title9", {"Title", ""}},
        {"1012ab", {"", "2"}},
        {"0abc", {}},
        {"x12", {}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseFieldList(c.text), c.strings) << c.text;
}

TEST(ParseFieldList, HandlesTheEdges) {
    const FieldListCase cases[] = {
        {"5", {}},     // width alone
        {"25", {""}},  // short last length field that is an integer text
        {"2a", {}},    // short last length field that is not
        {"3005abcde000007x", {"abcde", "", "x"}},
        {"35  abcde", {"abcde"}},  // trailing blanks in a length field
        {"3005abcde5", {"abcde", ""}},
        {"299" + std::string(150, 'z'), {std::string(150, 'z')}},
        {"299abc", {"abc"}},
        {"298" + std::string(98, 'q') + "00", {std::string(98, 'q'), ""}},
        {"14a\r\n\0"s + "2x7", {"a\r\n\0"s, "x7"}},
        {"2-1ab", {}},  // a negative length ends decoding
        {"203abc-1ab", {"abc"}},
        {"3$03abc", {"abc"}},          // a hexadecimal length
        {"9999999999rest", {"rest"}},  // all nines at the widest width
        {"9000000004abcd000000000", {"abcd", ""}},
        {"1\t3abc", {}},  // a length field of a lone tab trims to nothing
    };
    for (const auto& c : cases) EXPECT_EQ(ParseFieldList(c.text), c.strings) << c.text;
}

TEST(FieldValue, LastPairWinsAndCaseCounts) {
    const TStringArray strings{"Title", "abc", "Title", "def"};
    EXPECT_EQ(FieldValue(strings, "Title"), "def");
    EXPECT_EQ(FieldValue(strings, "title"), "");
    EXPECT_EQ(FieldValue(strings, "abc"), "");
    EXPECT_EQ(FieldValue({"Title", "abc", "Deny"}, "Deny"), "");
    EXPECT_EQ(FieldValue({"Deny", "no", "Deny"}, "Deny"), "");
    EXPECT_EQ(FieldValue({}, "Title"), "");
    EXPECT_EQ(FieldValue({"", "empty name"}, ""), "empty name");
}

TEST(FieldValue, ValuesAreNotTrimmed) {
    const TStringArray strings = ParseFieldList("35  Delay3  5  ");
    ASSERT_EQ(strings.size(), 2u);
    int32_t delay = 0;
    EXPECT_FALSE(IsIntegerText(FieldValue(strings, "Delay"), delay));
}

TEST(FormEncode, EscapesEverythingButLettersAndDigits) {
    const std::pair<std::string, std::string> cases[] = {
        {"John Smith", "John+Smith"},
        {"x+y=z", "x%2By%3Dz"},
        {"a-b_c.d", "a%2Db%5Fc%2Ed"},
        {"50%", "50%25"},
        {"", ""},
        {"   ", "+++"},
        {"+", "%2B"},
        {"~*", "%7E%2A"},
        {"\0\x0f\x10"s, "%00%0F%10"},
        {"caf\xe9\xff", "caf%E9%FF"},
        {"AZaz09", "AZaz09"},
    };
    for (const auto& [value, encoded] : cases) EXPECT_EQ(FormEncode(value), encoded);
}

TEST(StreamToString, ReadsTheWholeStreamFromItsStart) {
    EXPECT_EQ(StreamToString(nullptr), "");
    TMemoryStream stream;
    const std::string body = "Hello\0World"s;
    stream.Write(body.data(), static_cast<int64_t>(body.size()));
    EXPECT_EQ(stream.Position(), 11);
    EXPECT_EQ(StreamToString(&stream), body);
    stream.SetPosition(5);
    EXPECT_EQ(StreamToString(&stream), body);
    TMemoryStream empty;
    EXPECT_EQ(StreamToString(&empty), "");
}

}  // namespace
