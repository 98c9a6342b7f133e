#include "shell/ArrivalNotifier.h"

#include <algorithm>

#include "base/WideText.h"
#include "exchange/DataUnit.h"
#include "platform/Autostart.h"
#include "support/ImageList.h"

namespace {

// The titles a burst's notification lists.
constexpr size_t ListedTitles = 5;

}  // namespace

TArrivalNotifier::TArrivalNotifier(QObject* parent)
    : QObject(parent), Service(new TDesktopNotifications(this)) {
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] { Flush(); });
    connect(Service, &TDesktopNotifications::ActionInvoked, this,
            [this](uint32_t id, const QString& action) { Invoked(id, action); });
    connect(Service, &TDesktopNotifications::Closed, this, [this](uint32_t id, uint32_t) { Closed(id); });
}

void TArrivalNotifier::MessageArrived(TNotification* n) {
    if (!n || !Enabled) return;
    if (Active()) return;
    if (burst_.empty()) burstAge_.start();
    burst_.push_back(n);
    if (burstAge_.elapsed() >= LongestMs)
        Flush();
    else
        quiet_.start(QuietMs);
}

void TArrivalNotifier::WindowActivated() {
    burst_.clear();
    quiet_.stop();
    if (onShow_) Service->Close(onShow_);
    announced_.clear();
}

void TArrivalNotifier::Flush() {
    quiet_.stop();
    std::vector<TNotification*> messages;
    messages.swap(burst_);
    if (messages.empty() || !Enabled || Active()) return;
    // Newest first: the highest Index, and of equal ones the later arrival.
    std::reverse(messages.begin(), messages.end());
    uint32_t replaces = 0;
    if (onShow_) {
        replaces = onShow_;
        for (TNotification* earlier : announced_)
            if (std::find(messages.begin(), messages.end(), earlier) == messages.end())
                messages.push_back(earlier);
    }
    // A message opened meanwhile needs no announcement.
    messages.erase(std::remove_if(messages.begin(), messages.end(), [](TNotification* n) { return n->Read; }),
                   messages.end());
    if (messages.empty()) return;
    std::stable_sort(messages.begin(), messages.end(), [](const TNotification* a, const TNotification* b) {
        return NotificationIndex(a) > NotificationIndex(b);
    });
    TDesktopNotice notice = NoticeFor(messages);
    notice.ReplacesId = replaces;
    ++sent_;
    Service->Show(notice, [this, messages](uint32_t id) {
        if (onShow_ && onShow_ != id) opens_.erase(onShow_);
        onShow_ = id;
        announced_ = messages;
        opens_[id] = messages.front();
    });
}

TDesktopNotice TArrivalNotifier::NoticeFor(const std::vector<TNotification*>& newestFirst) {
    TDesktopNotice notice;
    if (newestFirst.empty()) return notice;
    if (newestFirst.size() == 1) {
        // Sites often pad the header for the window's caption; a pop-up shows it without.
        notice.Summary = Widen(newestFirst.front()->Title).trimmed();
        notice.Body = Widen(newestFirst.front()->Header).trimmed();
    } else {
        notice.Summary = tr("%1 new messages").arg(newestFirst.size());
        QStringList titles;
        for (size_t i = 0; i < newestFirst.size() && i < ListedTitles; ++i)
            titles << Widen(newestFirst[i]->Title).trimmed();
        if (newestFirst.size() > ListedTitles)
            titles << tr("and %1 more").arg(newestFirst.size() - ListedTitles);
        notice.Body = titles.join(QLatin1Char('\n'));
    }
    notice.DesktopEntry = QLatin1String(platform::DesktopEntryId);
    // The installed program names its icon in the theme; a program run from its build folder
    // sends the picture itself.
    if (TDesktopNotifications::ThemeIconInstalled(QStringLiteral("quorvel")))
        notice.AppIcon = QStringLiteral("quorvel");
    else
        notice.Image = ApplicationIcon().pixmap(32, 32).toImage();
    return notice;
}

void TArrivalNotifier::Invoked(uint32_t id, const QString& action) {
    if (action != QLatin1String("default")) return;
    const auto found = opens_.find(id);
    if (found == opens_.end()) return;
    TNotification* n = found->second;
    if (OpenMessage) OpenMessage(n);
}

void TArrivalNotifier::Closed(uint32_t id) {
    // The entry stays: a server may report the closing before the click that closed it. Only
    // the oldest go, so that a long run keeps few.
    while (opens_.size() > 64) opens_.erase(opens_.begin());
    if (id != onShow_) return;
    onShow_ = 0;
    announced_.clear();
}
