#pragma once

#include <QObject>
#include <cstdint>
#include <functional>

#include "base/Text.h"
#include "exchange/ConnectionSettings.h"
#include "exchange/RepollBound.h"

class THttpRequest;
class TIntervalTimer;
class TNotification;
class TStream;

// The invisible window of the poll cycle: it owns the poll timer and the two request components
// and receives their events on the user-interface thread. It reports what happened through its
// On… events and leaves to the shell how to show it; it reads the connection settings through
// `Settings`.
//
// Created once, last of the program's windows, with `new THTTPForm()`; the constructor sets the
// global `HTTPForm`, the destructor clears it. The timer runs from creation with an interval of
// 1000 ms, so the first poll goes out about a second after the event loop starts.
class THTTPForm : public QObject {
    Q_OBJECT
public:
    explicit THTTPForm(QObject* parent = nullptr);
    ~THTTPForm() override;

    TIntervalTimer* Timer;
    THttpRequest* PollRequest;
    THttpRequest* ReplyRequest;  // form replies

    // State of the poll cycle; all false or 0 at creation.
    bool Paused = false;        // a dialog is open: failure and refusal messages stay silent
    bool Connected = false;     // an answer has arrived since start or the last ResetSession
    bool FailureShown = false;  // the connection failure message is on show
    bool DenialShown = false;   // a refusal text is on show
    int32_t ServerDelay = 0;    // seconds the script asked to wait at least

    // Keeps answers without a message from making the client poll without pause.
    TRepollBound RepollBound;
    // Monotonic milliseconds for the bound; a seam for tests.
    std::function<int64_t()> Clock;

    // The settings every poll and reply read; unset, the settings are empty with no Delay.
    std::function<TConnectionSettings()> Settings;

    // A notification has been stored (it is the newest of the store): show it.
    std::function<void(TNotification* Notification)> OnNotificationArrived;
    // The answer to a form reply: show it as the new document.
    std::function<void(const ByteString& Body)> OnReplyAnswered;
    // The connection failed; FailureShown is already set. Show `Text` and let the user correct
    // the Script URL.
    std::function<void(const ByteString& Text)> OnConnectionFailed;
    // The script refused the user with `Text`; DenialShown is already set.
    std::function<void(const ByteString& Text)> OnRefused;

    // The poll step: re-arms the timer from the current settings and sends a poll unless one
    // is on its way. Sender is the timer for a tick, null for a direct call.
    void Poll(QObject* Sender = nullptr);
    void TimerTimer(QObject* Sender) { Poll(Sender); }

    void PollRequestDone(QObject* Sender, const ByteString& ContentType, int32_t FileSize, TStream* Stream);
    void PollRequestHostUnreachable(QObject* Sender);
    void PollRequestHTTPError(QObject* Sender, int32_t ErrorCode, TStream* Stream);
    void PollRequestConnLost(QObject* Sender, const ByteString& ContentType, int32_t FileSize,
                             int32_t BytesRead, TStream* Stream);

    // Sends a submitted form's data (already form-encoded, possibly empty) to the form's action
    // with ReplyRequest; dropped while an earlier reply is still on its way. A relative action
    // means a place on the script's site. The credentials go along only when the action lies
    // on the Script URL's own origin (scheme, host and port).
    void SubmitForm(const ByteString& Target, const ByteString& Data);
    // Hands the answer to a reply to OnReplyAnswered.
    void ReplyRequestDone(QObject* Sender, const ByteString& ContentType, int32_t FileSize, TStream* Stream);

    void ReportConnectionFailed();
    void ReportDenied(const ByteString& Text);
    void ResetSession();

    // The settings as Settings gives them now.
    TConnectionSettings CurrentSettings() const;
    // The interval in milliseconds that Poll gives the timer with the present settings and state.
    int PollInterval() const;
    // The body of the poll request with the present settings and store.
    ByteString PollBody() const;
};

extern THTTPForm* HTTPForm;
