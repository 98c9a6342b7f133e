#include "exchange/HTTPUnit.h"

#include <QString>
#include <algorithm>
#include <memory>

#include "exchange/DataUnit.h"
#include "exchange/IntervalTimer.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "support/MessageBox.h"
#include "transport/HttpRequest.h"

THTTPForm* HTTPForm = nullptr;

namespace {

constexpr int64_t MaxIntervalMs = 2147483000;  // 2147483 seconds, the most that fits 32 bits
constexpr int FailureFloorMs = 60000;

int64_t SecondsToMs(int64_t seconds) {
    return std::min(seconds * 1000, MaxIntervalMs);
}

}  // namespace

THTTPForm::THTTPForm(QObject* parent) : QObject(parent) {
    HTTPForm = this;
    setObjectName("HTTPForm");

    PollRequest = new THttpRequest(this);
    PollRequest->Agent = "WinHTTP";
    PollRequest->OnDone = [this](QObject* Sender, const ByteString& ContentType, int32_t FileSize,
                                 TStream* Stream) { PollRequestDone(Sender, ContentType, FileSize, Stream); };
    PollRequest->OnConnLost = [this](QObject* Sender, const ByteString& ContentType, int32_t FileSize,
                                     int32_t BytesRead, TStream* Stream) {
        PollRequestConnLost(Sender, ContentType, FileSize, BytesRead, Stream);
    };
    PollRequest->OnHTTPError = [this](QObject* Sender, int32_t ErrorCode, TStream* Stream) {
        PollRequestHTTPError(Sender, ErrorCode, Stream);
    };
    PollRequest->OnHostUnreachable = [this](QObject* Sender) { PollRequestHostUnreachable(Sender); };

    ReplyRequest = new THttpRequest(this);
    ReplyRequest->Agent = "WinHTTP";

    Timer = new TIntervalTimer(this, 1000, true);
    Timer->OnTimer = [this](QObject* Sender) { TimerTimer(Sender); };
}

THTTPForm::~THTTPForm() {
    Timer->SetEnabled(false);
    if (HTTPForm == this) HTTPForm = nullptr;
}

int THTTPForm::PollInterval() const {
    int64_t interval = 1000;
    if (ConnectionForm && ConnectionForm->Delay > 0) {
        const int64_t delay = ConnectionForm->Delay;
        interval = ConnectionForm->Mins ? std::min(delay * 60000, MaxIntervalMs) : SecondsToMs(delay);
    }
    if ((FailureShown || DenialShown) && interval < FailureFloorMs) interval = FailureFloorMs;
    if (ServerDelay > 0 && SecondsToMs(ServerDelay) > interval) interval = SecondsToMs(ServerDelay);
    return static_cast<int>(interval);
}

ByteString THTTPForm::PollBody() const {
    const ByteString user = ConnectionForm ? ConnectionForm->User : ByteString();
    const ByteString pass = ConnectionForm ? ConnectionForm->Pass : ByteString();
    return "User=" + FormEncode(user) + "&Pass=" + FormEncode(pass) +
           "&Index=" + std::to_string(HighestIndex());
}

void THTTPForm::Poll(QObject*) {
    Timer->SetEnabled(false);
    Timer->SetEnabled(true);
    Timer->SetInterval(PollInterval());
    if (PollRequest->Busy()) return;
    PollRequest->URL = ConnectionForm ? ConnectionForm->URL : ByteString();
    PollRequest->POSTData = PollBody();
    PollRequest->Start();
}

void THTTPForm::PollRequestDone(QObject*, const ByteString&, int32_t, TStream* Stream) {
    Connected = true;
    FailureShown = false;
    const ByteString body = StreamToString(Stream);
    const TStringArray fields = ParseFieldList(body);
    if (!IsIntegerText(FieldValue(fields, "Delay"), ServerDelay)) ServerDelay = 1;

    const ByteString deny = FieldValue(fields, "Deny");
    if (!deny.empty()) {
        ReportDenied(deny);
        return;
    }
    DenialShown = false;

    if (!FieldValue(fields, "Index").empty() && !FieldValue(fields, "Header").empty() &&
        !FieldValue(fields, "Title").empty() && !FieldValue(fields, "Message").empty()) {
        auto owned = std::make_unique<TNotification>(body);
        TNotification* n = owned.get();
        AppendNotification(std::move(owned));
        if (MainForm) {
            MainForm->AddMessage(n);
            MainForm->UpdateTrayIcons();
        }
    }

    if (Trim(body).size() > 1) Poll();
}

void THTTPForm::PollRequestHostUnreachable(QObject*) {
    if (!Connected) ReportConnectionFailed();
}

void THTTPForm::PollRequestHTTPError(QObject*, int32_t, TStream*) {
    ReportConnectionFailed();
}

void THTTPForm::PollRequestConnLost(QObject*, const ByteString&, int32_t, int32_t, TStream*) {
    Poll();
}

void THTTPForm::ReportConnectionFailed() {
    if (Paused || FailureShown) return;
    FailureShown = true;
    if (MainForm && MainForm->MsgBox)
        MainForm->MsgBox->ShowDialog("Connection Failed!\r\nCheck that you correctly entered webscript URL!",
                                     mkWarning, {mbOK}, 0);
    if (ConnectionForm) ConnectionForm->ShowWithURLFocus();
}

void THTTPForm::ReportDenied(const ByteString& Text) {
    if (Paused || DenialShown) return;
    DenialShown = true;
    if (MainForm && MainForm->MsgBox)
        MainForm->MsgBox->ShowDialog(QString::fromLocal8Bit(Text.data(), static_cast<qsizetype>(Text.size())),
                                     mkWarning, {mbOK}, 0);
    if (ConnectionForm) ConnectionForm->Open();
}

void THTTPForm::ResetSession() {
    Connected = false;
    FailureShown = false;
    DenialShown = false;
    ServerDelay = 1;
    PollRequest->Abort();
}
