// Form replies end to end: a message with a form comes from a poll script on loopback, is opened
// in the main window, its form is submitted through the view's own buttons, and the reply goes
// back to the script (or to another server), whose answer replaces the message.
#include <gtest/gtest.h>

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "common/PollScript.h"
#include "common/ProgramHarness.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/AboutUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/HelpUnit.h"
#include "shell/MainUnit.h"
#include "shell/MessageListModel.h"
#include "support/SettingsStore.h"
#include "support/TrayIcon.h"
#include "transport/HttpRequest.h"

using namespace testing_support;

namespace {

const std::string Credentials = "User=John+Smith&Pass=";

// A message whose only content is a form; `controls` go inside it.
std::string FormMessage(const std::string& controls, const std::string& action = "reply.php",
                        const std::string& head = "") {
    return "<html><head>" + head + "</head><body><p>Question</p><form action=\"" + action + "\">" + controls +
           "</form></body></html>";
}

const std::string SendOnly = "<input type=submit value=Send>";

// Requests that reached one path of a loopback server, recorded on its connection threads.
class TReplyLog {
public:
    void Add(const TReceivedRequest& request) {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    std::vector<TReceivedRequest> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    size_t Count() const {
        std::lock_guard lock(mutex_);
        return requests_.size();
    }

private:
    mutable std::mutex mutex_;
    std::vector<TReceivedRequest> requests_;
};

class FormReply : public ::testing::Test {
protected:
    void SetUp() override {
        ResetUserSettings();
        StoreSettings([&](TSettingsStore& store) {
            store.WriteText("Connection", "User", "John Smith");
            store.WriteText("Connection", "URL", script_.Url("/cgi/script.php"));
            store.WriteNumber("Connection", "Delay", 60);
            store.WriteText("Connection", "Pass", "");
            store.WriteFlag("Caching", "SavePass", true);
        });
        Answer("/cgi/reply.php", TTestResponse::Text(AgainPage, 200, "text/html"));
    }
    void TearDown() override { program_.reset(); }

    // Answers replies to that path of the script's server with `response` and records them.
    void Answer(const std::string& path, TTestResponse response) {
        auto log = std::make_shared<TReplyLog>();
        logs_[path] = log;
        script_.SetPathHandler(path, [log, response](const TReceivedRequest& request) {
            log->Add(request);
            return response;
        });
    }
    TReplyLog& Log(const std::string& path) { return *logs_.at(path); }

    // Starts the program, lets the script hand out its messages and counts what the main window's
    // view does: documents loaded and forms submitted (after the window's own handlers).
    void Start() {
        program_ = std::make_unique<TProgram>(true);
        program_->HoldTimer();
        TMainForm* main = program_->Main;
        main->HtmlView->OnProcessing = [this, handler = main->HtmlView->OnProcessing](THtmlView* s, bool on) {
            handler(s, on);
            if (on) ++loads_;
        };
        main->HtmlView->OnFormSubmit = [this, handler = main->HtmlView->OnFormSubmit](
                                           THtmlView* s, const ByteString& action, const ByteString& target,
                                           const ByteString& encType, const ByteString& method,
                                           TStringArray results) {
            handler(s, action, target, encType, method, std::move(results));
            ++submits_;
        };
        THttpRequest* reply = program_->HTTP->ReplyRequest;
        reply->OnHTTPError = [this](QObject*, int32_t, TStream*) { ++failures_; };
        reply->OnHostUnreachable = [this](QObject*) { ++failures_; };
        reply->OnConnLost = [this](QObject*, const ByteString&, int32_t, int32_t, TStream*) { ++failures_; };
        const size_t empty = script_.EmptyAnswers();
        program_->HTTP->Poll();
        ASSERT_TRUE(WaitUntil([&] {
            return script_.EmptyAnswers() > empty && !program_->HTTP->PollRequest->Busy() &&
                   program_->Completions() >= 1;
        }));
    }

    TMainForm& Main() const { return *program_->Main; }
    int Row(int32_t index) const {
        for (int row = 0; row < Main().ListItems->Count(); ++row)
            if (Main().ListItems->Data(row)->Index == index) return row;
        return -1;
    }
    int Image(int32_t index) const { return Main().ListItems->ImageIndex(Row(index)); }

    // Double-clicks the entry of that message the way the user does.
    void Open(int32_t index) {
        Main().ListView->setCurrentIndex(Main().ListItems->index(Row(index)));
        Main().ListViewDblClick();
    }

    QPushButton* Button(const QString& text) const {
        for (QObject* child : Main().HtmlView->viewport()->children())
            if (auto* button = qobject_cast<QPushButton*>(child); button && button->text() == text)
                return button;
        return nullptr;
    }
    // Presses a button of the document and waits until the main window has handled the form.
    void Press(const QString& text) {
        QPushButton* button = Button(text);
        ASSERT_NE(button, nullptr) << text.toStdString();
        const int before = submits_;
        button->click();
        ASSERT_TRUE(WaitUntil([&] { return submits_ > before; }));
    }
    // Waits until the reply has ended, answered or failed.
    bool WaitReplyEnded(int loadsBefore, int failuresBefore) {
        return WaitUntil([&] {
            return !program_->HTTP->ReplyRequest->Busy() &&
                   (loads_ > loadsBefore || failures_ > failuresBefore);
        });
    }
    // Submits with that button and waits for the reply's end.
    void Submit(const QString& text) {
        const int loads = loads_, failures = failures_;
        Press(text);
        ASSERT_TRUE(WaitReplyEnded(loads, failures));
    }

    static constexpr const char* AgainPage =
        "<html><body><p>Thanks</p><form action=\"reply.php\"><input type=submit "
        "value=Again></form></body></html>";

    TPollScript script_;
    std::map<std::string, std::shared_ptr<TReplyLog>> logs_;
    std::unique_ptr<TProgram> program_;
    int loads_ = 0;
    int submits_ = 0;
    int failures_ = 0;
};

TEST_F(FormReply, TheWorkedExampleIsPostedToTheScriptsSiteAndItsAnswerReplacesTheMessage) {
    // A GET form with a target: still a POST, to the action resolved against the Script URL.
    script_.AddMessage(
        {7, "Order 7", "Order 7",
         "<html><body><form action=\"reply.php\" method=get target=_blank>"
         "<input type=hidden name=answer value=\"Yes please\"><input type=hidden name=id value=7>"
         "<input type=submit value=Send></form></body></html>"});
    Start();
    Open(7);
    ASSERT_NE(Button("Send"), nullptr);
    const intptr_t tag = Main().HtmlView->Tag();
    TImageList* tray = Main().TrayIcon->Icons();
    const int loads = loads_;

    Submit("Send");
    ASSERT_EQ(Log("/cgi/reply.php").Count(), 1u);
    const TReceivedRequest request = Log("/cgi/reply.php").Requests()[0];
    EXPECT_EQ(request.Method, "POST");
    EXPECT_EQ(request.Target, "/cgi/reply.php");
    EXPECT_EQ(request.Body, "User=John+Smith&Pass=&answer=Yes+please&id=7");
    EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.Header("User-Agent"), "WinHTTP");

    // The answer is the new document; everything else stays as it was.
    EXPECT_TRUE(WaitUntil([&] { return Button("Again") != nullptr && Button("Send") == nullptr; }));
    EXPECT_EQ(loads_, loads + 1);
    EXPECT_EQ(Main().PanelLong->Caption(), "Order 7");
    EXPECT_EQ(Main().HtmlView->Tag(), tag);
    EXPECT_EQ(Main().DisplayedNotification(), Main().ListItems->Data(Row(7)));
    EXPECT_EQ(Main().ListItems->Count(), 1);
    EXPECT_EQ(Image(7), 2);
    EXPECT_EQ(Main().TrayIcon->Icons(), tray);
    // No Index in a reply, and the reply is no poll.
    EXPECT_EQ(TPollScript::FormField(request.Body, "Index"), "");
}

TEST_F(FormReply, TheBodyEncodesEveryValueAsTheFormGivesIt) {
    const struct {
        const char* name;
        std::string controls;
        std::string head;
        std::string data;  // what follows the credentials
    } cases[] = {
        {"blanks, ampersand and equals sign",
         "<input type=hidden name=\"a b\" value=\"x&amp;y=z w\">" + SendOnly, "", "&a+b=x%26y%3Dz+w"},
        {"non-ASCII bytes of the message's character set",
         "<input type=hidden name=t value=\"caf\xE9\">" + SendOnly, "<meta charset=windows-1252>",
         "&t=caf%E9"},
        {"two controls with one name",
         "<input type=checkbox name=c value=1 checked>"
         "<input type=checkbox name=c value=2 checked>" +
             SendOnly,
         "", "&c=1&c=2"},
        {"no values at all", SendOnly, "", ""},
        {"an empty text field and a named button",
         "<input type=text name=a value=x><input type=text name=b><input type=submit name=btn value=Send>",
         "", "&a=x&b=&btn=Send"},
    };
    int32_t index = 0;
    for (const auto& c : cases)
        script_.AddMessage({++index, "Header", c.name, FormMessage(c.controls, "reply.php", c.head)});
    Start();
    index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(++index);
        Submit("Send");
        ASSERT_EQ(Log("/cgi/reply.php").Count(), static_cast<size_t>(index));
        const std::string body = Log("/cgi/reply.php").Requests().back().Body;
        EXPECT_EQ(body, Credentials + c.data);
    }
}

TEST_F(FormReply, AnyAnswerBecomesTheDocumentAndAFormInItStillMarksTheMessageOpenedLast) {
    script_.AddMessage({1, "First", "First", FormMessage(SendOnly)});
    script_.AddMessage({2, "Second", "Second", "<p>No form</p>"});
    Start();
    Open(1);
    Submit("Send");
    ASSERT_TRUE(WaitUntil([&] { return Button("Again") != nullptr; }));
    EXPECT_EQ(Image(1), 2);
    EXPECT_EQ(Image(2), 0);

    // The form of the answer belongs to message 1 still, even with the focus mark on message 2.
    Main().ListView->setCurrentIndex(Main().ListItems->index(Row(2)));
    Answer("/cgi/reply.php", TTestResponse::Text("Plain thanks", 200, "text/plain"));
    Submit("Again");
    EXPECT_EQ(Image(1), 2);
    EXPECT_EQ(Image(2), 0);
    EXPECT_EQ(Button("Again"), nullptr);
    EXPECT_EQ(Main().PanelLong->Caption(), "First");

    // An empty answer gives an empty view.
    Open(1);
    Answer("/cgi/reply.php", TTestResponse::Text("", 200, "text/html"));
    const int loads = loads_;
    Submit("Send");
    EXPECT_EQ(loads_, loads + 1);
    EXPECT_EQ(Button("Send"), nullptr);
    EXPECT_LE(Main().HtmlView->VerticalRange(), 0);
}

TEST_F(FormReply, TheEntryIsMarkedAtOnceAndASecondSubmitWhileTheFirstRunsIsDropped) {
    script_.AddMessage(
        {3, "Choice", "Choice",
         FormMessage("<input type=submit name=choice value=A><input type=submit name=choice value=B>")});
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    auto log = std::make_shared<TReplyLog>();
    script_.SetPathHandler("/cgi/reply.php", [log, released](const TReceivedRequest& request) {
        log->Add(request);
        released.wait_for(std::chrono::seconds(30));
        return TTestResponse::Text(AgainPage, 200, "text/html");
    });
    Start();
    Open(3);
    EXPECT_EQ(Image(3), 1);

    Press("A");
    // Marked before any answer has come, while the script still holds the reply.
    EXPECT_EQ(Image(3), 2);
    ASSERT_TRUE(WaitUntil([&] { return log->Count() == 1; }));
    EXPECT_TRUE(program_->HTTP->ReplyRequest->Busy());
    const ByteString body = program_->HTTP->ReplyRequest->POSTData;
    EXPECT_EQ(body, Credentials + "&choice=A");

    Press("B");
    EXPECT_EQ(program_->HTTP->ReplyRequest->POSTData, body);
    EXPECT_EQ(Image(3), 2);

    const int loads = loads_;
    release->set_value();
    ASSERT_TRUE(WaitReplyEnded(loads, failures_));
    EXPECT_TRUE(WaitUntil([&] { return Button("Again") != nullptr; }));
    // The answer's own form goes out now that the component is free; B never did.
    Submit("Again");
    ASSERT_EQ(log->Count(), 2u);
    EXPECT_EQ(log->Requests()[0].Body, Credentials + "&choice=A");
    EXPECT_EQ(log->Requests()[1].Body, Credentials);
}

TEST_F(FormReply, AFailingReplyLeavesTheMessageOnScreenWithoutAWord) {
    TTestResponse broken = TTestResponse::Text(AgainPage, 200, "text/html");
    broken.BodyBytesToSend = 10;
    broken.Close = true;
    TTestResponse closed;
    closed.CloseWithoutAnswer = true;
    const struct {
        const char* name;
        std::string action;
        std::optional<TTestResponse> response;
    } cases[] = {
        {"error status", "status.php", TTestResponse::Text(AgainPage, 500, "text/html")},
        {"connection broken off", "broken.php", broken},
        {"no answer at all", "closed.php", closed},
        {"host unreachable", "http://127.0.0.1:9/reply.php", std::nullopt},
    };
    int32_t index = 0;
    for (const auto& c : cases) {
        if (c.response) Answer("/cgi/" + c.action, *c.response);
        script_.AddMessage({++index, "Question", c.name, FormMessage(SendOnly, c.action)});
    }
    Start();
    TMessageBoxWatcher boxes;
    const bool connected = program_->HTTP->Connected;
    index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open(++index);
        const int loads = loads_, failures = failures_;
        Submit("Send");
        EXPECT_EQ(failures_, failures + 1);
        EXPECT_EQ(loads_, loads);
        if (c.response) {
            EXPECT_EQ(Log("/cgi/" + c.action).Count(), 1u);
        }
        EXPECT_NE(Button("Send"), nullptr);
        EXPECT_EQ(Button("Again"), nullptr);
        EXPECT_EQ(Image(index), 2);
        EXPECT_EQ(Main().PanelLong->Caption(), "Question");
    }
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_EQ(program_->HTTP->Connected, connected);
    EXPECT_FALSE(program_->HTTP->FailureShown);
    EXPECT_FALSE(program_->HTTP->DenialShown);
}

TEST_F(FormReply, RelativeActionsMeanThePlacesOfTheScriptsSite) {
    Answer("/top.php", TTestResponse::Text(AgainPage, 200, "text/html"));
    Answer("/cgi/sub/deep.php", TTestResponse::Text(AgainPage, 200, "text/html"));
    Answer("/cgi/same.php", TTestResponse::Text(AgainPage, 200, "text/html"));
    const struct {
        std::string action;
        std::string path;
        std::string target;
    } cases[] = {
        {"reply.php", "/cgi/reply.php", "/cgi/reply.php"},
        {"reply.php?form=2", "/cgi/reply.php", "/cgi/reply.php?form=2"},
        {"/top.php", "/top.php", "/top.php"},
        {"sub/deep.php", "/cgi/sub/deep.php", "/cgi/sub/deep.php"},
        {script_.Url("/cgi/same.php"), "/cgi/same.php", "/cgi/same.php"},
    };
    int32_t index = 0;
    for (const auto& c : cases)
        script_.AddMessage({++index, "Header", c.action,
                            FormMessage("<input type=hidden name=n value=1>" + SendOnly, c.action)});
    Start();
    index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Open(++index);
        const size_t before = Log(c.path).Count();
        Submit("Send");
        ASSERT_EQ(Log(c.path).Count(), before + 1);
        const TReceivedRequest request = Log(c.path).Requests().back();
        EXPECT_EQ(request.Target, c.target);
        EXPECT_EQ(request.Body, Credentials + "&n=1");
    }
}

TEST_F(FormReply, AScriptURLWithoutSchemeStillGetsTheCredentialsOnItsOwnSite) {
    // The poll goes to http:// when the scheme is left out, so replies to that site are its own.
    const std::string url = script_.Url("/cgi/script.php");
    StoreSettings([&](TSettingsStore& store) {
        store.WriteText("Connection", "URL", url.substr(url.find("://") + 3));
        store.WriteText("Connection", "Pass", "s3cret");
    });
    const std::string port = std::to_string(script_.Server().Port());
    const std::string actions[] = {"reply.php", "http://127.0.0.1:" + port + "/cgi/reply.php"};
    int32_t index = 0;
    for (const auto& action : actions)
        script_.AddMessage({++index, "Header", action,
                            FormMessage("<input type=hidden name=a value=b>" + SendOnly, action)});
    Start();
    index = 0;
    for (const auto& action : actions) {
        SCOPED_TRACE(action);
        Open(++index);
        const size_t before = Log("/cgi/reply.php").Count();
        Submit("Send");
        ASSERT_EQ(Log("/cgi/reply.php").Count(), before + 1);
        EXPECT_EQ(Log("/cgi/reply.php").Requests().back().Body, "User=John+Smith&Pass=s3cret&a=b");
    }
}

TEST_F(FormReply, AnotherOriginGetsTheFormDataWithoutTheCredentials) {
    StoreSettings([](TSettingsStore& store) { store.WriteText("Connection", "Pass", "s3cret"); });
    auto foreignLog = std::make_shared<TReplyLog>();
    TTestHttpServer foreign([foreignLog](const TReceivedRequest& request) {
        foreignLog->Add(request);
        return TTestResponse::Text(AgainPage, 200, "text/html");
    });
    TReplyLog& own = Log("/cgi/reply.php");
    const std::string port = std::to_string(script_.Server().Port());
    const struct {
        std::string action;
        std::string controls;
        TReplyLog* arrives;
        std::string body;
    } cases[] = {
        {foreign.Url("/steal.php"),
         "<input type=hidden name=answer value=\"Yes please\"><input type=hidden name=id value=7>" + SendOnly,
         foreignLog.get(), "answer=Yes+please&id=7"},
        {foreign.Url("/steal.php"), SendOnly, foreignLog.get(), ""},
        {"//127.0.0.1:" + std::to_string(foreign.Port()) + "/steal.php",
         "<input type=hidden name=a value=b>" + SendOnly, foreignLog.get(), "a=b"},
        // The script's own port under another host name is another origin as well.
        {"http://localhost:" + port + "/cgi/reply.php", "<input type=hidden name=a value=c>" + SendOnly, &own,
         "a=c"},
    };
    int32_t index = 0;
    for (const auto& c : cases)
        script_.AddMessage({++index, "Header", c.action, FormMessage(c.controls, c.action)});
    Start();
    index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Open(++index);
        const size_t before = c.arrives->Count();
        Submit("Send");
        ASSERT_EQ(c.arrives->Count(), before + 1);
        const TReceivedRequest request = c.arrives->Requests().back();
        EXPECT_EQ(request.Method, "POST");
        EXPECT_EQ(request.Body, c.body);
        EXPECT_TRUE(WaitUntil([&] { return Button("Again") != nullptr; }));
    }
    // The script's own origin still gets them.
    Submit("Again");
    EXPECT_EQ(own.Requests().back().Body, "User=John+Smith&Pass=s3cret");
}

// Start-up order: the About and Help windows exist before the Connection dialog, so the menu
// items and both F1 keys reach them.
TEST(FormReplyWiring, MenusAndF1ReachTheHelpAndAboutWindows) {
    ResetUserSettings();
    StoreSettings([](TSettingsStore& store) { store.WriteFlag("Caching", "SavePass", true); });
    TProgram program(false, true);
    program.HoldTimer();
    ASSERT_EQ(HelpForm, program.Help);
    ASSERT_EQ(AboutForm, program.About);
    EXPECT_TRUE(program.Main->MenuContents->isEnabled());
    EXPECT_TRUE(program.Main->MenuAbout->isEnabled());

    // The row of the Options topic as the window on screen lays it out.
    THtmlView* view = program.Help->HtmlView;
    program.Help->Open("#option");
    const int option = view->VerticalPosition();
    ASSERT_GT(option, 0);
    program.Help->close();
    view->SetVerticalPosition(0);

    EXPECT_TRUE(program.Connection->FormShortCut(112));
    EXPECT_TRUE(program.Help->isVisible());
    EXPECT_EQ(view->VerticalPosition(), option);
    program.Main->MenuContents->trigger();
    EXPECT_EQ(view->VerticalPosition(), option);
    EXPECT_TRUE(program.Main->FormShortCut(112));
    EXPECT_EQ(view->VerticalPosition(), 0);
    program.Help->close();

    program.Main->MenuAbout->trigger();
    EXPECT_TRUE(program.About->isVisible());
    program.About->OKButton->click();
    EXPECT_FALSE(program.About->isVisible());
}

}  // namespace
