#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "EventLoopWait.h"

class QTimer;
class QWidget;
class TMainForm;
class TAboutForm;
class THelpForm;
class TConnectionForm;
class THTTPForm;
class TSettingsStore;
class TProgramWindows;

namespace testing_support {
class TPollScript;
}

namespace testing_support {

// Answers every message box the program opens: records its text and presses its OK button
// once `Respond` allows it (at once by default).
class TMessageBoxWatcher {
public:
    TMessageBoxWatcher();
    ~TMessageBoxWatcher();
    QStringList Texts() const { return texts_; }
    int Count() const { return static_cast<int>(texts_.size()); }
    // False keeps boxes open (they are still recorded) until it becomes true.
    std::function<bool()> Respond;
    bool BoxOpen() const;

private:
    void Check();
    std::unique_ptr<QTimer> timer_;
    QStringList texts_;
};

// The program's windows as start-up creates them (shell/ProgramWindows), with the poll's outcomes
// counted. The destructor tears them down in the reverse order and empties the notification
// store.
class TProgram {
public:
    // With `show` the main window is shown (its first activation may open the dialog). With
    // `helpAndAbout` the About and Help windows are created too; without, About and Help stay null.
    explicit TProgram(bool show = true, bool helpAndAbout = false);
    ~TProgram();
    // Stops the poll timer until the next poll re-arms it, so no tick polls behind a test's back.
    void HoldTimer();
    // Poll requests whose outcome event (done, connection lost, HTTP error, host unreachable)
    // has been handled completely.
    int Completions() const { return *completions_; }
    // Waits until that many outcomes have been handled and no poll is running.
    bool WaitCompletions(int count, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    std::unique_ptr<TProgramWindows> windows_;
    std::shared_ptr<int> completions_ = std::make_shared<int>(0);

public:
    TMainForm* Main;
    TAboutForm* About;
    THelpForm* Help;
    TConnectionForm* Connection;
    THTTPForm* HTTP;
};

// Fresh per-user folders, so the settings start empty.
void ResetUserSettings();
// Writes a connection setting before the program starts, as an earlier run would have.
void StoreSettings(const std::function<void(TSettingsStore&)>& write);
// Stores user "ann" with that password, the script's address and a 60 s delay.
void StoreConnection(const std::string& url, bool savePass = true, const std::string& pass = "pw");
// Polls until the script has nothing more to hand out and every answer has been handled.
bool FetchAll(TProgram& program, TPollScript& script);

}  // namespace testing_support
