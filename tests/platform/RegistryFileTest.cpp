#include <gtest/gtest.h>

#include <random>

#include "platform/Registry.h"
#include "platform/RegistryFile.h"

using registry::THive;

namespace {

constexpr const char* kRoot = "HKEY_CURRENT_USER";
constexpr const char* kKey = "Software\\Quorvel1980Dax\\Connection";

struct TValueCase {
    const char* what;
    uint32_t type;
    ByteString data;
    ByteString line;  // the value's line in the file
};

ByteString Bytes(std::initializer_list<int> bytes) {
    ByteString result;
    for (int b : bytes) result += static_cast<char>(b);
    return result;
}

const TValueCase kValueCases[] = {
    {"plain text", registry::REG_SZ, ByteString("hello\0", 6), "\"V\"=\"hello\""},
    {"escaped text", registry::REG_SZ, ByteString("C:\\a \"b\"\0", 9), "\"V\"=\"C:\\\\a \\\"b\\\"\""},
    {"empty text", registry::REG_SZ, ByteString("\0", 1), "\"V\"=\"\""},
    {"code-page bytes", registry::REG_SZ, Bytes({0xE9, 0x7F, 0}), "\"V\"=\"\xE9\x7F\""},
    {"text with inner NUL", registry::REG_SZ, ByteString("a\0b\0", 4), "\"V\"=hex(1):61,00,62,00"},
    {"text with line break", registry::REG_SZ, ByteString("a\nb\0", 4), "\"V\"=hex(1):61,0a,62,00"},
    {"text without final NUL", registry::REG_SZ, "ab", "\"V\"=hex(1):61,62"},
    {"text of no bytes", registry::REG_SZ, "", "\"V\"=hex(1):"},
    {"number", registry::REG_DWORD, Bytes({0x2a, 0, 0, 0}), "\"V\"=dword:0000002a"},
    {"negative number", registry::REG_DWORD, Bytes({0xfe, 0xff, 0xff, 0xff}), "\"V\"=dword:fffffffe"},
    {"short number", registry::REG_DWORD, Bytes({1, 2}), "\"V\"=hex(4):01,02"},
    {"expandable text", registry::REG_EXPAND_SZ, ByteString("%HOME%\0", 7),
     "\"V\"=hex(2):25,48,4f,4d,45,25,00"},
    {"binary", registry::REG_BINARY, Bytes({0, 0xff, 0x10}), "\"V\"=hex:00,ff,10"},
    {"empty binary", registry::REG_BINARY, "", "\"V\"=hex:"},
    {"other type", 7, ByteString("a\0\0", 3), "\"V\"=hex(7):61,00,00"},
    {"large type number", 0x1234abcd, "x", "\"V\"=hex(1234abcd):78"},
};

TEST(RegistryFileFormat, EachValueIsWrittenOnOneLineAndReadBackWithItsTypeAndBytes) {
    for (const TValueCase& c : kValueCases) {
        SCOPED_TRACE(c.what);
        THive hive(kRoot);
        hive.SetValue(kKey, "V", c.type, c.data);
        const ByteString text = hive.Serialize();
        EXPECT_NE(text.find("\n" + c.line + "\n"), ByteString::npos) << text;

        uint32_t type = 0;
        ByteString data;
        ASSERT_TRUE(THive::Parse(kRoot, text).FindValue(kKey, "V", type, data));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(data, c.data);
    }
}

TEST(RegistryFileFormat, WholeFileHasHeaderKeyLinesAndBlankLinesBetweenKeys) {
    THive hive(kRoot);
    hive.CreateKey("Software\\Quorvel1980Dax");
    hive.SetValue(kKey, "User", registry::REG_SZ, ByteString("ann\0", 4));
    hive.SetValue(kKey, "Delay", registry::REG_DWORD, Bytes({5, 0, 0, 0}));
    hive.SetValue("Software\\Quorvel1980Dax\\Caching", "", registry::REG_SZ, ByteString("1\0", 2));
    EXPECT_EQ(hive.Serialize(),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Connection]\n"
              "\"User\"=\"ann\"\n"
              "\"Delay\"=dword:00000005\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Caching]\n"
              "@=\"1\"\n"
              "\n");
}

const char kHandWritten[] =
    "; written by hand\r\n"
    "REGEDIT4\r\n"
    "\r\n"
    "  [HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Connection]  \r\n"
    "\"User\" =  \"ann\"\r\n"
    "; the interval\r\n"
    "  \"Delay\"\t= DWORD:2A\r\n"
    "\"Blob\"=hex:01, 02,\\\r\n"
    "    03,04\r\n"
    "\"Broken\"=\"no closing quote\r\n"
    "\"Future\"=qword:0000000000000001\r\n"
    "this line means nothing\r\n"
    "\"Gone\"=-\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n"
    "\"Foreign\"=\"not ours\"\r\n"
    "[hkey_current_user\\software\\quorvel1980dax\\CONNECTION]\r\n"
    "\"URL\"=\"http://example.invalid/\"\r\n";

TEST(RegistryFileFormat, HandWrittenFileIsReadWhereverItCanBe) {
    const THive hive = THive::Parse(kRoot, kHandWritten);
    struct {
        const char* name;
        bool present;
        uint32_t type;
        ByteString data;
    } const expected[] = {
        {"User", true, registry::REG_SZ, ByteString("ann\0", 4)},
        {"delay", true, registry::REG_DWORD, Bytes({0x2a, 0, 0, 0})},
        {"Blob", true, registry::REG_BINARY, Bytes({1, 2, 3, 4})},
        {"URL", true, registry::REG_SZ, ByteString("http://example.invalid/\0", 24)},
        {"Broken", false, 0, ""},
        {"Future", false, 0, ""},
        {"Gone", false, 0, ""},
        {"Foreign", false, 0, ""},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        uint32_t type = 0;
        ByteString data;
        ASSERT_EQ(hive.FindValue(kKey, e.name, type, data), e.present);
        if (!e.present) continue;
        EXPECT_EQ(type, e.type);
        EXPECT_EQ(data, e.data);
    }
    EXPECT_TRUE(hive.HasKey("SOFTWARE\\quorvel1980dax"));
    EXPECT_FALSE(hive.HasKey("Software\\Other"));
}

TEST(RegistryFileFormat, RewritingKeepsLinesItCannotReadUnlessTheirValueIsSetAnew) {
    THive hive = THive::Parse(kRoot, kHandWritten);
    hive.SetValue(kKey, "Future", registry::REG_DWORD, Bytes({1, 0, 0, 0}));
    const ByteString text = hive.Serialize();
    for (const char* kept :
         {"; written by hand", "; the interval", "\"Broken\"=\"no closing quote", "this line means nothing",
          "\"Gone\"=-", "[HKEY_LOCAL_MACHINE\\Software\\Other]", "\"Foreign\"=\"not ours\""})
        EXPECT_NE(text.find(kept), ByteString::npos) << kept;
    EXPECT_EQ(text.find("qword"), ByteString::npos);
    EXPECT_NE(text.find("\"Future\"=dword:00000001"), ByteString::npos);

    // Read again, the rewritten file gives the same values and keeps the same lines.
    EXPECT_EQ(THive::Parse(kRoot, text).Serialize(), text);
}

TEST(RegistryFileFormat, KeptLineEndingInABackslashSwallowsNoValueWrittenAfterIt) {
    const ByteString text =
        "[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Connection]\n"
        "\"Old\"=hex:01,\\\n"
        "\n"
        "\"Kept\"=\"k\"\n"
        "\"Cut\"=hex:02,\\\n";
    THive hive = THive::Parse(kRoot, text);
    hive.SetValue(kKey, "New", registry::REG_SZ, ByteString("n\0", 2));
    const THive again = THive::Parse(kRoot, hive.Serialize());
    for (const char* name : {"Kept", "New"}) {
        uint32_t type = 0;
        ByteString data;
        EXPECT_TRUE(again.FindValue(kKey, name, type, data)) << name << "\n" << hive.Serialize();
    }
    EXPECT_EQ(again.Serialize(), hive.Serialize());
}

struct TRewriteCase {
    const char* what;
    ByteString text;
    const char* key;      // where the value is set before the first rewrite
    const char* present;  // a value both rewrites must still hold there
};

const TRewriteCase kRewriteCases[] = {
    // A hex line cut by the next header must not swallow the lines of the same key's second header.
    {"key's second header after a cut hex line",
     "[HKEY_CURRENT_USER\\S]\n\"A\"=hex:00,\\\n[HKEY_CURRENT_USER\\S]\ne\n", "S", nullptr},
    {"value line after a cut hex line and a second header",
     "[HKEY_CURRENT_USER\\S]\n\"A\"=hex:00,\\\n[hkey_current_user\\s]\n\"B\"=hex:01\n", "S", "B"},
    {"value set at the root key", "", "", "New"},
    {"root key's own header", "[HKEY_CURRENT_USER]\n\"Old\"=\"x\"\n", "", "Old"},
};

TEST(RegistryFileFormat, RewriteOfAValueSetAnewSettlesAtOnceAndKeepsEveryValue) {
    for (const TRewriteCase& c : kRewriteCases) {
        SCOPED_TRACE(c.what);
        THive hive = THive::Parse(kRoot, c.text);
        hive.SetValue(c.key, "New", registry::REG_SZ, ByteString("n\0", 2));
        const ByteString once = hive.Serialize();
        const THive again = THive::Parse(kRoot, once);
        EXPECT_EQ(again.Serialize(), once) << "input:\n" << c.text;
        for (const char* name : {"New", c.present}) {
            if (!name) continue;
            uint32_t type = 0;
            ByteString data;
            EXPECT_TRUE(again.FindValue(c.key, name, type, data)) << name << "\n" << once;
        }
    }
}

TEST(RegistryFileFormat, ArbitraryBytesParseWithoutHarmAndRewriteStably) {
    std::mt19937 random(1980);
    const char alphabet[] = "[]\"\\=@:,;-()hexdwordHKEY_CURRENT_USER\r\n\t 0123456789abcdef\x01\xff";
    for (int round = 0; round < 300; ++round) {
        ByteString text;
        const int length = static_cast<int>(random() % 400);
        for (int i = 0; i < length; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
        const ByteString once = THive::Parse(kRoot, text).Serialize();
        EXPECT_EQ(THive::Parse(kRoot, once).Serialize(), once) << "input: " << text;
    }
}

}  // namespace
