#pragma once

#include <QRect>
#include <QString>
#include <stdexcept>
#include <string>

// A failed browser launch; the text is meant for the user.
class EBrowserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One new top-level window of the user's web browser. The window is described property by
// property (Top, Left, Width, Height, Visible) and opened by Navigate, or by Release when no
// address is given; every object opens its own window and none is ever reused. Afterwards the
// window belongs to the user: nothing here tracks it.
//
// The browser is found on PATH: first one that takes a window position and size on its command
// line, then one that can at least open a new window, last the desktop's default opener. The
// address always travels as one argument after "--", so no link can be read as an option; the
// few programs that know no "--" get the address alone, and only when it does not begin with
// "-" (such a link goes on to the opener). The desktop's opener gets web and mail addresses only
// (http, https, ftp, mailto): for a local file or another scheme it might start a program.
class TBrowser {
public:
    TBrowser();  // raises EBrowserError when no browser can be found
    ~TBrowser() = default;
    TBrowser(const TBrowser&) = delete;
    TBrowser& operator=(const TBrowser&) = delete;

    void SetTop(int top);
    void SetLeft(int left);
    void SetWidth(int width);
    void SetHeight(int height);
    void SetVisible(bool visible);
    // Opens the window on the address (single-byte text, passed on unchanged).
    void Navigate(const std::string& url);
    // Ends the program's part: a visible window that has not navigated opens empty now.
    void Release();

    // The part of the primary screen not taken by panels and docks, asked afresh on each call.
    static QRect WorkArea();

private:
    enum class TKind { Positioned, NewWindow, Unmarked, Opener };
    void RequireNotOpened(const char* operation) const;
    void Launch(const std::string& url, bool withUrl);

    TKind kind_;
    QString program_;
    bool hasTop_ = false, hasLeft_ = false, hasWidth_ = false, hasHeight_ = false;
    int top_ = 0, left_ = 0, width_ = 0, height_ = 0;
    bool visible_ = false;
    bool opened_ = false;
    bool pendingNavigate_ = false;
    std::string pendingUrl_;
};
