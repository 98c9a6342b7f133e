#include "platform/Browser.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QStringList>
#include <initializer_list>

namespace {

// A failure the user reads in a message box, in the user's language.
std::string Shown(const char* text, const QString& detail = QString()) {
    QString shown = QCoreApplication::translate("TBrowser", text);
    if (!detail.isNull()) shown = shown.arg(detail);
    return shown.toStdString();
}

// Browsers that place a new window where they are told.
const std::initializer_list<const char*> PositionedBrowsers = {
    "chromium",      "chromium-browser", "google-chrome", "google-chrome-stable",
    "brave-browser", "microsoft-edge",   "vivaldi-stable"};
// Browsers that open a new window but take no position; these understand "--".
const std::initializer_list<const char*> NewWindowBrowsers = {"epiphany-browser", "epiphany"};
// Browsers whose command line has no end-of-options marker: they only get addresses that cannot
// pass for an option.
const std::initializer_list<const char*> UnmarkedBrowsers = {"firefox", "firefox-esr"};

QString FindFirst(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) return path;
    }
    return {};
}

bool LooksLikeOption(const std::string& url) {
    return !url.empty() && url[0] == '-';
}

// The desktop's opener hands an address to whatever program is registered for it, which for a
// local file may run it. A link from a message only reaches it when it names a web or mail
// address.
bool OpenerMayTake(const std::string& url) {
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        const char c = url[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(i > 0 && other)) return false;
        scheme += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto";
}

}  // namespace

TBrowser::TBrowser() {
    program_ = FindFirst(PositionedBrowsers);
    kind_ = TKind::Positioned;
    if (program_.isEmpty()) {
        program_ = FindFirst(NewWindowBrowsers);
        kind_ = TKind::NewWindow;
    }
    if (program_.isEmpty()) {
        program_ = FindFirst(UnmarkedBrowsers);
        kind_ = TKind::Unmarked;
    }
    if (program_.isEmpty()) {
        kind_ = TKind::Opener;
        if (QStandardPaths::findExecutable("xdg-open").isEmpty() &&
            QStandardPaths::findExecutable("gio").isEmpty())
            throw EBrowserError(
                Shown(QT_TRANSLATE_NOOP("TBrowser", "No web browser was found to open the link.")));
    }
}

QRect TBrowser::WorkArea() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void TBrowser::RequireNotOpened(const char* operation) const {
    if (opened_)
        throw EBrowserError(std::string("The browser window is already open; its ") + operation +
                            " can no longer be set.");
}

void TBrowser::SetTop(int top) {
    RequireNotOpened("position");
    top_ = top;
    hasTop_ = true;
}

void TBrowser::SetLeft(int left) {
    RequireNotOpened("position");
    left_ = left;
    hasLeft_ = true;
}

void TBrowser::SetWidth(int width) {
    RequireNotOpened("size");
    width_ = width;
    hasWidth_ = true;
}

void TBrowser::SetHeight(int height) {
    RequireNotOpened("size");
    height_ = height;
    hasHeight_ = true;
}

void TBrowser::SetVisible(bool visible) {
    if (!visible && opened_) throw EBrowserError("The browser window cannot be hidden again.");
    visible_ = visible;
    if (visible_ && pendingNavigate_) {
        pendingNavigate_ = false;
        Launch(pendingUrl_, true);
    }
}

void TBrowser::Navigate(const std::string& url) {
    if (opened_) throw EBrowserError("The browser window has already loaded its address.");
    if (!visible_) {
        // A hidden window loads once it is shown.
        pendingUrl_ = url;
        pendingNavigate_ = true;
        return;
    }
    Launch(url, true);
}

void TBrowser::Release() {
    if (visible_ && !opened_) Launch({}, false);
}

void TBrowser::Launch(const std::string& url, bool withUrl) {
    const QString address = QString::fromLocal8Bit(url.data(), static_cast<qsizetype>(url.size()));
    QString program = program_;
    QStringList arguments;
    switch (kind_) {
        case TKind::Positioned: {
            arguments << "--new-window";
            if (hasLeft_ || hasTop_) arguments << QString("--window-position=%1,%2").arg(left_).arg(top_);
            if (hasWidth_ || hasHeight_) {
                const QRect area = WorkArea();
                arguments << QString("--window-size=%1,%2")
                                 .arg(hasWidth_ ? width_ : area.width())
                                 .arg(hasHeight_ ? height_ : area.height());
            }
            if (withUrl) arguments << "--" << address;
            break;
        }
        case TKind::NewWindow:
            arguments << "--new-window";
            if (withUrl) arguments << "--" << address;
            break;
        case TKind::Unmarked:
            arguments << "--new-window";
            if (!withUrl) break;
            if (!LooksLikeOption(url)) {
                arguments << address;
                break;
            }
            [[fallthrough]];
        case TKind::Opener: {
            if (!withUrl || url.empty())
                throw EBrowserError(Shown(QT_TRANSLATE_NOOP(
                    "TBrowser", "No web browser was found that can open an empty window.")));
            if (!OpenerMayTake(url))
                throw EBrowserError(
                    Shown(QT_TRANSLATE_NOOP(
                              "TBrowser",
                              "No web browser was found, and the desktop is not asked to open this link: %1"),
                          QString::fromStdString(url)));
            // xdg-open takes no "--", but an address with one of those schemes cannot pass for
            // an option.
            const QString xdgOpen = QStandardPaths::findExecutable("xdg-open");
            if (!xdgOpen.isEmpty()) {
                program = xdgOpen;
                arguments = QStringList{address};
            } else {
                program = QStandardPaths::findExecutable("gio");
                arguments = QStringList{"open", "--", address};
            }
            break;
        }
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw EBrowserError(
            Shown(QT_TRANSLATE_NOOP("TBrowser", "The web browser could not be started: %1"), program));
    opened_ = true;
}
