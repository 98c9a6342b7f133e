#include "ProgramHarness.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "PollScript.h"
#include "TestEnvironment.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "shell/MainUnit.h"
#include "shell/ProgramWindows.h"
#include "support/SettingsStore.h"
#include "transport/HttpRequest.h"

namespace testing_support {

TMessageBoxWatcher::TMessageBoxWatcher() : timer_(std::make_unique<QTimer>()) {
    timer_->setInterval(10);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { Check(); });
    timer_->start();
}

TMessageBoxWatcher::~TMessageBoxWatcher() = default;

bool TMessageBoxWatcher::BoxOpen() const {
    return qobject_cast<QDialog*>(QApplication::activeModalWidget()) != nullptr;
}

void TMessageBoxWatcher::Check() {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!box) return;
    if (!box->property("quorvelRecorded").toBool()) {
        box->setProperty("quorvelRecorded", true);
        auto* label = box->findChild<QLabel*>("Message");
        texts_.push_back(label ? label->text() : QString());
    }
    if (Respond && !Respond()) return;
    if (auto* ok = box->findChild<QPushButton*>("OK")) {
        ok->click();
    } else {
        box->reject();
    }
}

TProgram::TProgram(bool show, bool helpAndAbout)
    : windows_(std::make_unique<TProgramWindows>(helpAndAbout)),
      Main(windows_->Main),
      About(windows_->About),
      Help(windows_->Help),
      Connection(windows_->Connection),
      HTTP(windows_->HTTP) {
    // Count each outcome after the poll cycle's own handler has run.
    THttpRequest* request = HTTP->PollRequest;
    auto count = completions_;
    request->OnDone = [count, handler = request->OnDone](QObject* s, const ByteString& type, int32_t size,
                                                         TStream* stream) {
        handler(s, type, size, stream);
        ++*count;
    };
    request->OnConnLost = [count, handler = request->OnConnLost](QObject* s, const ByteString& type,
                                                                 int32_t size, int32_t read,
                                                                 TStream* stream) {
        handler(s, type, size, read, stream);
        ++*count;
    };
    request->OnHTTPError = [count, handler = request->OnHTTPError](QObject* s, int32_t code,
                                                                   TStream* stream) {
        handler(s, code, stream);
        ++*count;
    };
    request->OnHostUnreachable = [count, handler = request->OnHostUnreachable](QObject* s) {
        handler(s);
        ++*count;
    };
    if (show) Main->show();
}

bool TProgram::WaitCompletions(int count, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return *completions_ >= count && !HTTP->PollRequest->Busy(); }, timeout);
}

void TProgram::HoldTimer() {
    HTTP->Timer->SetEnabled(false);
}

TProgram::~TProgram() {
    windows_.reset();
    ClearNotifications();
}

void ResetUserSettings() {
    IsolateUserFolders();
}

void StoreSettings(const std::function<void(TSettingsStore&)>& write) {
    TSettingsStore store;
    store.SetPath("\\Software\\Quorvel1980Dax");
    store.SetPathType(ptRegistry);
    write(store);
}

void StoreConnection(const std::string& url, bool savePass, const std::string& pass) {
    StoreSettings([&](TSettingsStore& store) {
        store.WriteText("Connection", "User", "ann");
        store.WriteText("Connection", "URL", url);
        store.WriteNumber("Connection", "Delay", 60);
        store.WriteText("Connection", "Pass", pass);
        store.WriteFlag("Caching", "SavePass", savePass);
    });
}

bool FetchAll(TProgram& program, TPollScript& script) {
    const size_t empty = script.EmptyAnswers();
    program.HTTP->Poll();
    return WaitUntil([&] {
        return script.EmptyAnswers() > empty &&
               program.Completions() >= static_cast<int>(script.RequestCount()) &&
               !program.HTTP->PollRequest->Busy();
    });
}

}  // namespace testing_support
