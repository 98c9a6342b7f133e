// The stored settings' one table: what reading and saving both go by.
#include "shell/StoredSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <functional>

#include "common/ProgramHarness.h"
#include "support/SettingsStore.h"

using namespace testing_support;

namespace {

// Fresh per-user folders and a store on them, as the main window has one.
class StoredSettings : public ::testing::Test {
protected:
    StoredSettings() {
        store_.SetPath("\\Software\\Quorvel1980Dax");
        store_.SetPathType(ptRegistry);
    }
    TSettingsStore& Store() { return store_; }
    TStoredSettings ReadAll();

private:
    // The folders come first: the store is made on them.
    bool isolated_ = (ResetUserSettings(), true);
    TSettingsStore store_;
};

TStoredSettings Unusual() {
    TStoredSettings settings;
    settings.User = "Zoë";
    settings.URL = "https://shop.example/poll.php";
    settings.Delay = 42;
    settings.Mins = true;
    settings.Pass = "se=cr&et";
    settings.SavePass = true;
    settings.DesktopNotify = false;
    return settings;
}

TStoredSettings StoredSettings::ReadAll() {
    TStoredSettings read;
    read.User = ReadStoredSetting(Store(), &TStoredSettings::User);
    read.URL = ReadStoredSetting(Store(), &TStoredSettings::URL);
    read.Delay = ReadStoredSetting(Store(), &TStoredSettings::Delay);
    read.Mins = ReadStoredSetting(Store(), &TStoredSettings::Mins);
    read.Pass = ReadStoredSetting(Store(), &TStoredSettings::Pass);
    read.SavePass = ReadStoredSetting(Store(), &TStoredSettings::SavePass);
    read.DesktopNotify = ReadStoredSetting(Store(), &TStoredSettings::DesktopNotify);
    return read;
}

void ExpectSame(const TStoredSettings& got, const TStoredSettings& want) {
    EXPECT_EQ(got.User, want.User);
    EXPECT_EQ(got.URL, want.URL);
    EXPECT_EQ(got.Delay, want.Delay);
    EXPECT_EQ(got.Mins, want.Mins);
    EXPECT_EQ(got.Pass, want.Pass);
    EXPECT_EQ(got.SavePass, want.SavePass);
    EXPECT_EQ(got.DesktopNotify, want.DesktopNotify);
}

}  // namespace

TEST_F(StoredSettings, NothingStoredGivesTheDefaultsAndWhatIsWrittenReadsBack) {
    const TStoredSettings defaults = ReadAll();
    EXPECT_EQ(defaults.Delay, 5);
    EXPECT_TRUE(defaults.DesktopNotify);
    ExpectSame(defaults, TStoredSettings{});

    WriteStoredSettings(Store(), Unusual());
    ExpectSame(ReadAll(), Unusual());
}

TEST_F(StoredSettings, EachValueLivesUnderItsSectionAndNameWithItsKind) {
    WriteStoredSettings(Store(), Unusual());
    struct TCase {
        const char* Section;
        const char* Name;
        std::function<bool()> Holds;
    };
    TSettingsStore& store = Store();
    const TCase cases[] = {
        {"Connection", "User", [&] { return store.ReadText("Connection", "User", "") == "Zoë"; }},
        {"Connection", "URL",
         [&] { return store.ReadText("Connection", "URL", "") == "https://shop.example/poll.php"; }},
        {"Connection", "Delay", [&] { return store.ReadNumber("Connection", "Delay", 0) == 42; }},
        {"Connection", "Mins", [&] { return store.ReadFlag("Connection", "Mins", false); }},
        {"Connection", "Pass", [&] { return store.ReadText("Connection", "Pass", "") == "se=cr&et"; }},
        {"Caching", "SavePass", [&] { return store.ReadFlag("Caching", "SavePass", false); }},
        {"Caching", "DesktopNotify", [&] { return !store.ReadFlag("Caching", "DesktopNotify", true); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Section) + "/" + c.Name);
        EXPECT_TRUE(c.Holds());
    }
}

TEST_F(StoredSettings, TheFileListsTheValuesInTheOrderTheyAreWritten) {
    WriteStoredSettings(Store(), Unusual());
    QFile file(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("Quorvel1980Dax/user.reg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    qsizetype last = -1;
    for (const char* name :
         {"\"User\"", "\"URL\"", "\"Delay\"", "\"Mins\"", "\"Pass\"", "\"SavePass\"", "\"DesktopNotify\""}) {
        SCOPED_TRACE(name);
        const qsizetype at = text.indexOf(name);
        ASSERT_GT(at, last);
        last = at;
    }
}
