#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class THttpRequest;

// Fetches pictures and style sheets of a document over http and https in the background with the
// program's own request component, a few at a time. Other schemes are refused: a message must
// not reach the user's files. Results arrive on the user-interface thread.
class TResourceFetcher : public QObject {
    Q_OBJECT

public:
    using TDone = std::function<void(bool ok, const QByteArray& data)>;

    static constexpr int kParallel = 4;
    static constexpr int64_t kMaxBytes = 16 << 20;

    explicit TResourceFetcher(QObject* parent = nullptr);
    ~TResourceFetcher() override;

    // Queues a fetch; done runs exactly once unless CancelAll or destruction comes first.
    void Fetch(const QString& url, TDone done);
    // Drops every queued and running fetch without calling their done functions.
    void CancelAll();
    int Pending() const { return static_cast<int>(queue_.size()) + running_; }

    static bool IsFetchable(const QString& url);
    // Switched off, every fetch fails at once (through the event queue).
    void SetEnabled(bool value) { enabled_ = value; }
    bool Enabled() const { return enabled_; }

private:
    struct TJob {
        QString url;
        TDone done;
    };
    struct TSlot;

    void StartNext();
    void Finish(TSlot* slot, bool ok, const QByteArray& data);

    std::deque<TJob> queue_;
    std::vector<std::unique_ptr<TSlot>> slots_;
    int running_ = 0;
    bool enabled_ = true;
};
