#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/Registry.h"
#include "support/SettingsStore.h"

using namespace registry;
namespace fs = std::filesystem;

namespace {

constexpr const char* kStoreKey = "Software\\Quorvel1980Dax";

ByteString Dword(uint32_t value) {
    ByteString data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return data;
}

// A store set up as the program sets it, over a settings folder of the test's own.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quorvel-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = old;
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        store_ = std::make_unique<TSettingsStore>();
        store_->SetPath("\\Software\\Quorvel1980Dax");
        store_->SetPathType(ptRegistry);
    }
    void TearDown() override {
        store_.reset();
        SetBeforeReplaceHook({});
        std::error_code ignored;
        fs::permissions(root_ / "config/Quorvel1980Dax", fs::perms::owner_all, fs::perm_options::add,
                        ignored);
        fs::remove_all(root_);
        setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
    }

    static bool KeyExists(const ByteString& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    // Stores a value of any type and bytes below the store's key, the way another program might.
    static void Put(const ByteString& section, const ByteString& name, DWORD type, const ByteString& data) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (ByteString(kStoreKey) + "\\" + section).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static bool Get(const ByteString& section, const ByteString& name, DWORD& type, ByteString& data) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, (ByteString(kStoreKey) + "\\" + section).c_str(), 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            return false;
        DWORD size = 0;
        bool found = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
        data.assign(size, '\0');
        found = found && RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }

    template <typename Operation>
    static ByteString MessageOf(Operation operation) {
        try {
            operation();
        } catch (const ERegistryException& error) {
            return error.Message();
        }
        return "(nothing raised)";
    }

    fs::path root_;
    std::string savedConfig_;
    std::unique_ptr<TSettingsStore> store_;
};

TEST_F(SettingsStoreTest, FirstRunReadsDefaultsAndCreatesOnlyTheStoresKey) {
    EXPECT_FALSE(KeyExists(kStoreKey));
    EXPECT_EQ(store_->ReadText("Connection", "User", "nobody"), "nobody");
    EXPECT_TRUE(KeyExists(kStoreKey));
    EXPECT_EQ(store_->ReadNumber("Connection", "Delay", 5), 5);
    EXPECT_FALSE(store_->ReadFlag("Connection", "Mins", false));
    EXPECT_TRUE(store_->ReadFlag("Caching", "SavePass", true));
    EXPECT_FALSE(KeyExists("Software\\Quorvel1980Dax\\Connection"));
    EXPECT_FALSE(KeyExists("Software\\Quorvel1980Dax\\Caching"));

    store_->WriteText("Connection", "User", "ann");
    EXPECT_TRUE(KeyExists("Software\\Quorvel1980Dax\\Connection"));
    EXPECT_FALSE(KeyExists("Software\\Quorvel1980Dax\\Caching"));
    EXPECT_EQ(store_->ReadText("Connection", "User", ""), "ann");
}

TEST_F(SettingsStoreTest, ProgramsSettingsReadBackWithTheirRegistryTypes) {
    store_->WriteText("Connection", "User", "ann");
    store_->WriteText("Connection", "URL", "http://example.invalid/poll");
    store_->WriteNumber("Connection", "Delay", 42);
    store_->WriteFlag("Connection", "Mins", true);
    store_->WriteText("Connection", "Pass", "s\"cr\\t");
    store_->WriteFlag("Caching", "SavePass", false);

    TSettingsStore other;  // as at the next start
    other.SetPath("\\Software\\Quorvel1980Dax");
    other.SetPathType(ptRegistry);
    EXPECT_EQ(other.ReadText("Connection", "User", ""), "ann");
    EXPECT_EQ(other.ReadText("Connection", "URL", ""), "http://example.invalid/poll");
    EXPECT_EQ(other.ReadNumber("Connection", "Delay", 5), 42);
    EXPECT_TRUE(other.ReadFlag("Connection", "Mins", false));
    EXPECT_EQ(other.ReadText("Connection", "Pass", ""), "s\"cr\\t");
    EXPECT_FALSE(other.ReadFlag("Caching", "SavePass", true));

    struct {
        const char* section;
        const char* name;
        DWORD type;
        ByteString data;
    } const stored[] = {
        {"Connection", "User", REG_SZ, ByteString("ann\0", 4)},
        {"Connection", "Delay", REG_DWORD, Dword(42)},
        {"Connection", "Mins", REG_SZ, ByteString("1\0", 2)},
        {"Caching", "SavePass", REG_SZ, ByteString("0\0", 2)},
    };
    for (const auto& s : stored) {
        SCOPED_TRACE(s.name);
        DWORD type = 0;
        ByteString data;
        ASSERT_TRUE(Get(s.section, s.name, type, data));
        EXPECT_EQ(type, s.type);
        EXPECT_EQ(data, s.data);
    }
}

TEST_F(SettingsStoreTest, NumberStoredAsTextIsReadByTheIntegerRule) {
    struct {
        ByteString text;
        int32_t expected;
    } const cases[] = {
        {"  42", 42},
        {"$10", 16},
        {"0x1F", 31},
        {"-7", -7},
        {"+5", 5},
        {"12ab", -1},
        {"", -1},
        {"4 2", -1},
        {"99999999999", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        Put("Connection", "Delay", REG_SZ, c.text + '\0');
        EXPECT_EQ(store_->ReadNumber("Connection", "Delay", -1), c.expected);
    }
}

TEST_F(SettingsStoreTest, FlagsReadFromTextAndFromNumbers) {
    struct {
        const char* what;
        DWORD type;
        ByteString data;
        bool whenDefaultFalse, whenDefaultTrue;
    } const cases[] = {
        {"text 1", REG_SZ, ByteString("1\0", 2), true, true},
        {"text 0", REG_SZ, ByteString("0\0", 2), false, false},
        {"text -1", REG_SZ, ByteString("-1\0", 3), true, true},
        {"number 1", REG_DWORD, Dword(1), true, true},
        {"number 0", REG_DWORD, Dword(0), false, false},
        {"the word True", REG_SZ, ByteString("True\0", 5), false, true},
        {"empty text", REG_SZ, ByteString("\0", 1), false, true},
        {"text of no bytes", REG_SZ, "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Put("Connection", "Mins", c.type, c.data);
        EXPECT_EQ(store_->ReadFlag("Connection", "Mins", false), c.whenDefaultFalse);
        EXPECT_EQ(store_->ReadFlag("Connection", "Mins", true), c.whenDefaultTrue);
    }
}

TEST_F(SettingsStoreTest, WritesKeepOrReplaceTheStoredType) {
    struct {
        const char* what;
        bool stored;
        DWORD storedType;
        ByteString storedData;
        bool asFlag;  // else WriteNumber(-12)
        DWORD type;
        ByteString data;
    } const cases[] = {
        {"number over text stays text", true, REG_SZ, ByteString("7\0", 2), false, REG_SZ,
         ByteString("-12\0", 4)},
        {"number over number", true, REG_DWORD, Dword(7), false, REG_DWORD,
         Dword(static_cast<uint32_t>(-12))},
        {"number where nothing is stored", false, 0, "", false, REG_DWORD, Dword(static_cast<uint32_t>(-12))},
        {"number over expandable text", true, REG_EXPAND_SZ, ByteString("7\0", 2), false, REG_DWORD,
         Dword(static_cast<uint32_t>(-12))},
        {"number over binary", true, REG_BINARY, "12345678", false, REG_DWORD,
         Dword(static_cast<uint32_t>(-12))},
        {"flag over number becomes text", true, REG_DWORD, Dword(0), true, REG_SZ, ByteString("1\0", 2)},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ByteString name = "Value" + std::to_string(round++);
        if (c.stored) Put("Connection", name, c.storedType, c.storedData);
        if (c.asFlag)
            store_->WriteFlag("Connection", name, true);
        else
            store_->WriteNumber("Connection", name, -12);
        DWORD type = 0;
        ByteString data;
        ASSERT_TRUE(Get("Connection", name, type, data));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(data, c.data);
    }
}

TEST_F(SettingsStoreTest, TextReadsStopAtTheFirstNulAndKeepVariablesUnexpanded) {
    store_->WriteText("Connection", "Pass", "");
    DWORD type = 0;
    ByteString data;
    ASSERT_TRUE(Get("Connection", "Pass", type, data));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(data, ByteString("\0", 1));
    EXPECT_EQ(store_->ReadText("Connection", "Pass", "default"), "");

    store_->WriteText("Connection", "User", ByteString("ab\0cd", 5));
    EXPECT_EQ(store_->ReadText("Connection", "User", ""), "ab");

    Put("Connection", "URL", REG_EXPAND_SZ, ByteString("%HOME%/x\0", 9));
    EXPECT_EQ(store_->ReadText("Connection", "URL", ""), "%HOME%/x");
    Put("Connection", "URL", REG_SZ, "no final NUL");
    EXPECT_EQ(store_->ReadText("Connection", "URL", ""), "no final NUL");
    Put("Connection", "URL", REG_DWORD, "");  // no bytes: empty text whatever the type
    EXPECT_EQ(store_->ReadText("Connection", "URL", "default"), "");
}

TEST_F(SettingsStoreTest, UnusableValuesRaiseTheirMessagesAndTheStoreGoesOn) {
    Put("Connection", "User", REG_DWORD, Dword(3));
    Put("Connection", "Delay", REG_BINARY, "12345678");
    Put("Connection", "Mins", REG_BINARY, "1234");
    Put("Connection", "URL", REG_EXPAND_SZ, ByteString("5\0", 2));
    struct {
        const char* what;
        std::function<void()> operation;
        ByteString message;
    } const cases[] = {
        {"number read as text", [&] { store_->ReadText("Connection", "User", ""); },
         "Invalid data type for 'User'"},
        {"8-byte binary read as number", [&] { store_->ReadNumber("Connection", "Delay", 5); },
         "Failed to get data for 'Delay'"},
        {"4-byte binary read as number", [&] { store_->ReadNumber("Connection", "Mins", 5); },
         "Invalid data type for 'Mins'"},
        {"4-byte binary read as flag", [&] { store_->ReadFlag("Connection", "Mins", false); },
         "Invalid data type for 'Mins'"},
        {"expandable text read as number", [&] { store_->ReadNumber("Connection", "URL", 5); },
         "Invalid data type for 'URL'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf(c.operation), c.message);
        // The store's key is the current key again: sections are still found below it.
        store_->WriteText("Caching", "SavePass", "1");
        EXPECT_TRUE(store_->ReadFlag("Caching", "SavePass", false));
        EXPECT_FALSE(KeyExists("Caching"));
    }
}

TEST_F(SettingsStoreTest, ReadOnlyStoreRaisesOnWritingAndReadsOnlyWithReadAccess) {
    store_->WriteText("Connection", "User", "ann");
    const fs::path folder = root_ / "config/Quorvel1980Dax";
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);

    TSettingsStore readOnly;
    readOnly.SetPath("\\Software\\Quorvel1980Dax");
    readOnly.SetPathType(ptRegistry);
    // Full access cannot be granted, so the store's key is not opened and sections are not found.
    EXPECT_EQ(readOnly.ReadText("Connection", "User", "default"), "default");
    EXPECT_EQ(MessageOf([&] { readOnly.WriteText("Connection", "User", "bob"); }),
              "Failed to create key Connection");
    readOnly.SetRegAccess({keyRead});
    EXPECT_EQ(readOnly.ReadText("Connection", "User", ""), "ann");
    EXPECT_EQ(MessageOf([&] { readOnly.WriteText("Connection", "User", "bob"); }),
              "Failed to create key Connection");

    // Writable again, but the store's mask lets it neither set values nor add sections.
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(MessageOf([&] { readOnly.WriteText("Connection", "User", "bob"); }),
              "Failed to set data for 'User'");
    EXPECT_EQ(MessageOf([&] { readOnly.WriteNumber("Other", "Delay", 1); }), "Failed to create key Other");
    EXPECT_EQ(store_->ReadText("Connection", "User", ""), "ann");
}

TEST_F(SettingsStoreTest, InterruptedWriteRaisesAndKeepsTheOldValue) {
    store_->WriteText("Connection", "User", "ann");
    SetBeforeReplaceHook([](const std::string&) { return false; });
    EXPECT_EQ(MessageOf([&] { store_->WriteText("Connection", "User", "bob"); }),
              "Failed to set data for 'User'");
    EXPECT_EQ(MessageOf([&] { store_->WriteNumber("Connection", "Delay", 9); }),
              "Failed to set data for 'Delay'");
    EXPECT_EQ(MessageOf([&] { store_->WriteFlag("Caching", "SavePass", true); }),
              "Failed to create key Caching");
    SetBeforeReplaceHook({});
    EXPECT_EQ(store_->ReadText("Connection", "User", ""), "ann");
    EXPECT_EQ(store_->ReadNumber("Connection", "Delay", 5), 5);
}

TEST_F(SettingsStoreTest, ChangedSettingsReopenTheStoreAtTheNextOperation) {
    const fs::path file = root_ / "config/Quorvel1980Dax/user.reg";
    store_->ReadText("Connection", "User", "");
    ASSERT_TRUE(fs::exists(file));

    // An equal value leaves the open store alone: nothing creates the key again.
    fs::remove(file);
    store_->SetPath("\\Software\\Quorvel1980Dax");
    store_->SetRegAccess({keyAllAccess});
    store_->SetRegKey(hkeyCurrentUser);
    store_->ReadText("Connection", "User", "");
    EXPECT_FALSE(fs::exists(file));

    store_->SetPath("\\Software\\Elsewhere");
    store_->ReadText("Connection", "User", "");
    EXPECT_TRUE(KeyExists("Software\\Elsewhere"));
    EXPECT_FALSE(KeyExists(kStoreKey));
    store_->WriteNumber("Connection", "Delay", 3);
    EXPECT_TRUE(KeyExists("Software\\Elsewhere\\Connection"));

    store_->SetPath("\\Software\\Quorvel1980Dax");
    EXPECT_EQ(store_->ReadNumber("Connection", "Delay", 5), 5);
    EXPECT_TRUE(KeyExists(kStoreKey));
}

TEST_F(SettingsStoreTest, SectionWithLeadingBackslashLivesBelowTheRootKey) {
    store_->WriteText("\\Top\\Level", "Name", "x");
    EXPECT_TRUE(KeyExists("Top\\Level"));
    EXPECT_FALSE(KeyExists("Software\\Quorvel1980Dax\\Top"));
    EXPECT_EQ(store_->ReadText("\\Top\\Level", "Name", ""), "x");
    EXPECT_EQ(store_->ReadText("Top\\Level", "Name", "below the store"), "below the store");
}

}  // namespace
