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
void ShowWarning(TMainForm& main, const ByteString& text) {
    if (main.MsgBox) main.MsgBox->ShowDialog(Widen(text), mkWarning, {mbOK}, 0);
}

}  // namespace

void WirePollCycle(THTTPForm& http, TMainForm& main, TConnectionForm& connection) {
    http.Settings = [&connection] { return connection.Settings(); };
    http.OnNotificationArrived = [&main](TNotification* notification) {
        main.AddMessage(notification);
        main.UpdateTrayIcons();
        // Built while the program is idle, so that opening it later shows it at once.
        main.PrepareMessage(notification, TPrepare::WhenIdle);
    };
    http.OnReplyAnswered = [&main](const ByteString& body) {
        main.HtmlView->LoadBuffer(body.data(), static_cast<int64_t>(body.size()), "");
    };
    http.OnConnectionFailed = [&main, &connection](const ByteString& text) {
        ShowWarning(main, text);
        connection.ShowWithURLFocus();
    };
    http.OnRefused = [&main, &connection](const ByteString& text) {
        ShowWarning(main, text);
        connection.Open();
    };
}
