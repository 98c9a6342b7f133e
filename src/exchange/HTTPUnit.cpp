#include "exchange/HTTPUnit.h"

#include <QString>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <memory>

#include "exchange/DataUnit.h"
#include "exchange/IntervalTimer.h"
#include "htmlview/HtmlView.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "support/MessageBox.h"
#include "transport/HttpRequest.h"
#include "transport/RequestUrl.h"

THTTPForm* HTTPForm = nullptr;

namespace {

constexpr int64_t MaxIntervalMs = 2147483000;  // 2147483 seconds, the most that fits 32 bits
constexpr int FailureFloorMs = 60000;

int64_t SecondsToMs(int64_t seconds) {
    return std::min(seconds * 1000, MaxIntervalMs);
}

QUrl ParseUrl(const ByteString& text) {
    return QUrl::fromEncoded(QByteArray::fromStdString(text), QUrl::TolerantMode);
}

// A form's action as written may be relative ("reply.php"): it names a place on the script's site.
ByteString ResolveAction(const ByteString& scriptUrl, const ByteString& action) {
    const QUrl target = ParseUrl(action);
    if (!target.isValid() || !target.isRelative()) return action;
    const QUrl base = ParseUrl(scriptUrl);
    if (!base.isValid() || base.isRelative()) return action;
    return base.resolved(target).toEncoded().toStdString();
}

int EffectivePort(const QUrl& url) {
    const QString scheme = url.scheme();
    return url.port(scheme == "https" ? 443 : scheme == "http" ? 80 : -1);
}

// Same scheme, host and port: a message's HTML may come from other people, and its forms must
// not carry the user's password to anybody else's server.
bool SameOrigin(const ByteString& a, const ByteString& b) {
    const QUrl first = ParseUrl(a);
    const QUrl second = ParseUrl(b);
    if (!first.isValid() || !second.isValid() || first.host().isEmpty()) return false;
    return first.scheme().compare(second.scheme(), Qt::CaseInsensitive) == 0 &&
           first.host().compare(second.host(), Qt::CaseInsensitive) == 0 &&
           EffectivePort(first) == EffectivePort(second);
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
    // Every reply is a POST, also one without a body: a form without values sent to another
    // site goes without the credentials.
    ReplyRequest->RequestMethod = rmPOST;
    ReplyRequest->OnDone = [this](QObject* Sender, const ByteString& ContentType, int32_t FileSize,
                                  TStream* Stream) {
        ReplyRequestDone(Sender, ContentType, FileSize, Stream);
    };

    Clock = [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    };

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
    RepollBound.PollSent(Clock());
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
        RepollBound.AnswerEndedTheBurst();
        ReportDenied(deny);
        return;
    }
    DenialShown = false;

    const bool carriesMessage =
        !FieldValue(fields, "Index").empty() && !FieldValue(fields, "Header").empty() &&
        !FieldValue(fields, "Title").empty() && !FieldValue(fields, "Message").empty();
    if (carriesMessage) {
        auto owned = std::make_unique<TNotification>(body);
        TNotification* n = owned.get();
        AppendNotification(std::move(owned));
        if (MainForm) {
            MainForm->AddMessage(n);
            MainForm->UpdateTrayIcons();
        }
    }

    if (Trim(body).size() <= 1) {
        RepollBound.AnswerEndedTheBurst();
        return;
    }
    if (RepollBound.MayPollAtOnce(carriesMessage, Clock())) Poll();
}

void THTTPForm::PollRequestHostUnreachable(QObject*) {
    if (!Connected) ReportConnectionFailed();
}

void THTTPForm::PollRequestHTTPError(QObject*, int32_t, TStream*) {
    ReportConnectionFailed();
}

void THTTPForm::PollRequestConnLost(QObject*, const ByteString&, int32_t, int32_t, TStream*) {
    if (RepollBound.MayPollAtOnce(false, Clock())) Poll();
}

void THTTPForm::SubmitForm(const ByteString& Target, const ByteString& Data) {
    if (ReplyRequest->Busy()) return;
    // The Script URL as the poll request reaches it, so that "host/script.php" and
    // "http://host/script.php" name the same site.
    const ByteString script = NormalizeRequestUrl(ConnectionForm ? ConnectionForm->URL : ByteString());
    const ByteString target = ResolveAction(script, Target);
    ByteString body;
    if (SameOrigin(target, script)) {
        const ByteString user = ConnectionForm ? ConnectionForm->User : ByteString();
        const ByteString pass = ConnectionForm ? ConnectionForm->Pass : ByteString();
        body = "User=" + FormEncode(user) + "&Pass=" + FormEncode(pass);
        if (!Data.empty()) body += "&" + Data;
    } else {
        body = Data;
    }
    ReplyRequest->URL = target;
    ReplyRequest->POSTData = body;
    ReplyRequest->Start();
}

void THTTPForm::ReplyRequestDone(QObject*, const ByteString&, int32_t, TStream* Stream) {
    if (!MainForm) return;
    const ByteString body = StreamToString(Stream);
    MainForm->HtmlView->LoadBuffer(body.data(), static_cast<int64_t>(body.size()), "");
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
    RepollBound.Reset();
    PollRequest->Abort();
}
