#include "shell/PollCycleWiring.h"

#include "base/WideText.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "htmlview/HtmlView.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "support/MessageBox.h"

namespace {

// The poll cycle's messages: modal warnings with the OK button alone.
void ShowWarning(const ByteString& text) {
    if (MainForm && MainForm->MsgBox) MainForm->MsgBox->ShowDialog(Widen(text), mkWarning, {mbOK}, 0);
}

}  // namespace

void WirePollCycle(THTTPForm& http) {
    http.Settings = [] { return ConnectionForm ? ConnectionForm->Settings() : TConnectionSettings::None(); };
    http.OnNotificationArrived = [](TNotification* notification) {
        if (!MainForm) return;
        MainForm->AddMessage(notification);
        MainForm->UpdateTrayIcons();
        // Built while the program is idle, so that opening it later shows it at once.
        MainForm->PrepareMessage(notification, TPrepare::WhenIdle);
    };
    http.OnReplyAnswered = [](const ByteString& body) {
        if (MainForm) MainForm->HtmlView->LoadBuffer(body.data(), static_cast<int64_t>(body.size()), "");
    };
    http.OnConnectionFailed = [](const ByteString& text) {
        ShowWarning(text);
        if (ConnectionForm) ConnectionForm->ShowWithURLFocus();
    };
    http.OnRefused = [](const ByteString& text) {
        ShowWarning(text);
        if (ConnectionForm) ConnectionForm->Open();
    };
}
