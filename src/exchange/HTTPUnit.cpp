#include "exchange/HTTPUnit.h"

#include <chrono>
#include <memory>

#include "base/WideText.h"
#include "exchange/DataUnit.h"
#include "exchange/IntervalTimer.h"
#include "exchange/PollRules.h"
#include "exchange/UtilsUnit.h"
#include "transport/HttpRequest.h"

THTTPForm* HTTPForm = nullptr;

namespace {

constexpr char ConnectionFailedText[] =
    QT_TRANSLATE_NOOP("THTTPForm", "Connection Failed!\r\nCheck that you correctly entered webscript URL!");

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

TConnectionSettings THTTPForm::CurrentSettings() const {
    return Settings ? Settings() : TConnectionSettings::None();
}

int THTTPForm::PollInterval() const {
    return PollIntervalMs(CurrentSettings(), FailureShown || DenialShown, ServerDelay);
}

ByteString THTTPForm::PollBody() const {
    return PollRequestBody(CurrentSettings(), HighestIndex());
}

void THTTPForm::Poll(QObject*) {
    Timer->SetEnabled(false);
    Timer->SetEnabled(true);
    Timer->SetInterval(PollInterval());
    if (PollRequest->Busy()) return;
    PollRequest->URL = CurrentSettings().URL;
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
        // The answer is decoded once; the notification takes its fields.
        auto owned = std::make_unique<TNotification>(fields);
        TNotification* notification = owned.get();
        AppendNotification(std::move(owned));
        if (OnNotificationArrived) OnNotificationArrived(notification);
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
    const TConnectionSettings settings = CurrentSettings();
    const ByteString target = ReplyTarget(settings, Target);
    ReplyRequest->URL = target;
    ReplyRequest->POSTData = ReplyRequestBody(settings, target, Data);
    ReplyRequest->Start();
}

void THTTPForm::ReplyRequestDone(QObject*, const ByteString&, int32_t, TStream* Stream) {
    if (OnReplyAnswered) OnReplyAnswered(StreamToString(Stream));
}

void THTTPForm::ReportConnectionFailed() {
    if (Paused || FailureShown) return;
    FailureShown = true;
    if (OnConnectionFailed) OnConnectionFailed(Narrow(tr(ConnectionFailedText)));
}

void THTTPForm::ReportDenied(const ByteString& Text) {
    if (Paused || DenialShown) return;
    DenialShown = true;
    if (OnRefused) OnRefused(Text);
}

void THTTPForm::ResetSession() {
    Connected = false;
    FailureShown = false;
    DenialShown = false;
    ServerDelay = 1;
    RepollBound.Reset();
    PollRequest->Abort();
}
