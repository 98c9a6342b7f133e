// End to end with the real client: the program's windows and poll cycle against the reference
// web script (server/) under `php -S` on 127.0.0.1, and against the protocol's Python example
// (docs/examples/quorvel_script.py). Messages go in through the site's API, as a site's own code
// posts them.
#include <gtest/gtest.h>

#include <QListView>
#include <QPushButton>
#include <fstream>

#include "common/LoopbackTools.h"
#include "common/PhpSite.h"
#include "common/ProgramHarness.h"
#include "common/PythonSite.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

class ServerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TPhpSite::Available())
            GTEST_SKIP() << "php with pdo_sqlite is not installed (scripts/install-deps)";
        ResetUserSettings();
    }
    void TearDown() override { program_.reset(); }

    void Settings(const std::string& url, const std::string& user, const std::string& pass) {
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", user);
            store.WriteText("Connection", "URL", url);
            // A minute between timed polls: what arrives sooner came through a held poll.
            store.WriteNumber("Connection", "Delay", 60);
            store.WriteText("Connection", "Pass", pass);
            store.WriteFlag("Caching", "SavePass", true);
        });
    }
    void Start() { program_ = std::make_unique<TProgram>(true); }

    TMainForm& Main() const { return *program_->Main; }
    int Count() const { return Main().ListItems->Count(); }
    // Titles from the top of the list (the highest Index first).
    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (int row = 0; row < Count(); ++row) titles.push_back(Main().ListItems->Data(row)->Title);
        return titles;
    }
    std::vector<int32_t> Indexes() const {
        std::vector<int32_t> indexes;
        for (int row = 0; row < Count(); ++row) indexes.push_back(Main().ListItems->Data(row)->Index);
        return indexes;
    }
    int Row(const std::string& title) const {
        for (int row = 0; row < Count(); ++row)
            if (Main().ListItems->Data(row)->Title == title) return row;
        return -1;
    }
    void Open(const std::string& title) {
        Main().ListView->setCurrentIndex(Main().ListItems->index(Row(title)));
        Main().ListViewDblClick();
    }
    QPushButton* Button(const QString& text) const {
        for (QObject* child : Main().HtmlView->viewport()->children())
            if (auto* button = qobject_cast<QPushButton*>(child); button && button->text() == text)
                return button;
        return nullptr;
    }

    std::unique_ptr<TProgram> program_;
};

TEST_F(ServerEndToEnd, MessagesPostedThroughTheApiArriveInOrderAndWakeTheHeldPoll) {
    TPhpSite site;
    ASSERT_TRUE(site.Running()) << site.Error();
    ASSERT_TRUE(site.AddUser("John Smith", "s3cret & more"));
    ASSERT_GT(site.PostMessage("John Smith", "Order 10481", "<p>Beans</p>"), 0);
    ASSERT_GT(site.PostMessage("John Smith", "Question", "<p>White or black?</p>"), 0);
    ASSERT_GT(site.PostMessage("John Smith", "Newsletter", "<p>Week 49</p>"), 0);
    Settings(site.ScriptUrl(), "John Smith", "s3cret & more");
    TMessageBoxWatcher boxes;
    Start();

    ASSERT_TRUE(WaitUntil([&] { return Count() == 3; }));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Newsletter", "Question", "Order 10481"}));
    EXPECT_EQ(Indexes(), (std::vector<int32_t>{3, 2, 1}));

    // The client now waits in a held poll; a message posted meanwhile arrives long before the
    // next timed poll (a minute away) would have fetched it.
    WaitUntil([] { return false; }, std::chrono::milliseconds(500));
    for (int k = 4; k <= 6; ++k) {
        const std::string title = "Order " + std::to_string(10480 + k);
        ASSERT_GT(site.PostMessage("John Smith", title, "<p>More beans</p>"), 0);
        ASSERT_TRUE(WaitUntil([&] { return Count() == k; }, std::chrono::seconds(20))) << title;
        EXPECT_EQ(Titles().front(), title);
        EXPECT_EQ(Indexes().front(), k);
    }
    EXPECT_EQ(boxes.Count(), 0);
    // The client's own word on what it holds: the Index of its last poll.
    ASSERT_TRUE(WaitUntil([&] {
        return site.Admin({"received", "John Smith"}).second.find("6  Order 10486") != std::string::npos;
    }));
}

TEST_F(ServerEndToEnd, AFullHoldIsNoStallAndTheIdleAnswerBringsTheNextPollAtOnce) {
    // The default hold of 25 s: the client's transport gives up on a request only after 60 s
    // without a byte, so the hold ends with the script's idle answer, not with a failure.
    TPhpSite site;
    ASSERT_TRUE(site.Running()) << site.Error();
    ASSERT_TRUE(site.AddUser("ann", "pw"));
    Settings(site.ScriptUrl(), "ann", "pw");
    TMessageBoxWatcher boxes;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return program_->Completions() >= 1; }, std::chrono::seconds(40)));
    // The idle answer brought the next poll at once (the timer is a minute away).
    WaitUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_TRUE(program_->HTTP->PollRequest->Busy()) << "always waiting in a poll";
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_TRUE(program_->HTTP->Connected);
    EXPECT_EQ(Count(), 0);
    ASSERT_GT(site.PostMessage("ann", "Now", "<p>x</p>"), 0);
    ASSERT_TRUE(WaitUntil([&] { return Count() == 1; }, std::chrono::seconds(20)));
}

TEST_F(ServerEndToEnd, AWrongPasswordShowsTheScriptsRefusalOnce) {
    TPhpSite site;
    ASSERT_TRUE(site.Running()) << site.Error();
    ASSERT_TRUE(site.AddUser("ann", "right"));
    ASSERT_GT(site.PostMessage("ann", "Secret", "<p>x</p>"), 0);
    Settings(site.ScriptUrl(), "ann", "wrong");
    TMessageBoxWatcher boxes;
    Start();
    ASSERT_TRUE(WaitUntil([&] { return boxes.Count() == 1; }));
    EXPECT_EQ(boxes.Texts().front(), "Unknown user name or wrong password.");
    // The refusal opens the Connection dialog; more polls bring no second box.
    ASSERT_TRUE(WaitUntil([&] { return program_->Connection->isVisible() && !boxes.BoxOpen(); }));
    program_->Connection->hide();
    for (int k = 0; k < 3; ++k) {
        const int done = program_->Completions();
        program_->HTTP->Poll();
        ASSERT_TRUE(program_->WaitCompletions(done + 1));
    }
    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(Count(), 0);
}

TEST_F(ServerEndToEnd, AReplyFromAMessagesFormIsStoredAndItsAnswerShown) {
    TPhpSite::TOptions options;
    // A reply page with a button that says what the script stored, for the test to read.
    options.ExtraConfig = "'reply_template' => __DIR__ . '/reply-template.php',";
    TPhpSite site(options);
    ASSERT_TRUE(site.Running()) << site.Error();
    std::ofstream(site.Folder() + "/reply-template.php")
        << "<?php use function Quorvel\\Server\\h; ?><html><body><form><input type=submit value=\"<?= "
           "$accepted ? 'Stored ' . h($fields[0][1] ?? '') . ' for ' . h($messageTitle) : 'Refused' "
           "?>\"></form>"
           "</body></html>";
    ASSERT_TRUE(site.AddUser("ann", "pw"));
    const int id =
        site.PostMessage("ann", "Question",
                         "<p>Ship it?</p><form action=\"reply.php\"><input type=hidden name=answer "
                         "value=\"Yes please\"><input type=submit value=Send></form>");
    ASSERT_GT(id, 0);
    Settings(site.ScriptUrl(), "ann", "pw");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Count() == 1; }));
    // A person reads before answering; meanwhile the next poll is held.
    WaitUntil([] { return false; }, std::chrono::milliseconds(300));
    Open("Question");
    ASSERT_TRUE(WaitUntil([&] { return Button("Send") != nullptr; }));
    Button("Send")->click();
    ASSERT_TRUE(WaitUntil([&] { return Button("Stored Yes please for Question") != nullptr; }));
    EXPECT_EQ(Button("Send"), nullptr);
    EXPECT_EQ(Main().ListItems->ImageIndex(0), 2);

    const auto [status, body] = site.Api("GET", "/replies?since=0");
    EXPECT_EQ(status, 200);
    EXPECT_NE(body.find("\"user\":\"ann\",\"message_id\":" + std::to_string(id)), std::string::npos) << body;
    EXPECT_NE(body.find("[\"answer\",\"Yes please\"]"), std::string::npos) << body;
}

TEST_F(ServerEndToEnd, ThePythonExampleScriptServesTheSameClient) {
    if (!TPythonSite::Available()) GTEST_SKIP() << "python3 is not installed";
    TPythonSite site("John Smith", "pw");
    ASSERT_TRUE(site.Running());
    ASSERT_TRUE(site.PostMessage("First", "<p>one</p>"));
    ASSERT_TRUE(site.PostMessage("Second",
                                 "<p>two</p><form action=\"reply\"><input type=hidden name=choice value=2>"
                                 "<input type=submit value=Send></form>"));
    Settings(site.ScriptUrl(), "John Smith", "pw");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Count() == 2; }));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Second", "First"}));
    // Held, then woken by a new message.
    WaitUntil([] { return false; }, std::chrono::milliseconds(300));
    ASSERT_TRUE(site.PostMessage("Third", "<p>three</p>"));
    ASSERT_TRUE(WaitUntil([&] { return Count() == 3; }, std::chrono::seconds(3)));
    EXPECT_EQ(Indexes(), (std::vector<int32_t>{3, 2, 1}));
    Open("Second");
    ASSERT_TRUE(WaitUntil([&] { return Button("Send") != nullptr; }));
    Button("Send")->click();
    ASSERT_TRUE(WaitUntil([&] { return site.Output().find("reply: {'choice': '2'}") != std::string::npos; }));
}

}  // namespace
