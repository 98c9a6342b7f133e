#pragma once

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

// Only the main window's closing ends the program. Every other top-level window (a message box,
// a dialog) is kept from counting as the last window when it is shown, so that closing a box
// while the main window sits hidden in the tray does not end the run.
class TMainFormQuitRule : public QObject {
    Q_OBJECT
public:
    explicit TMainFormQuitRule(QObject* parent = nullptr) : QObject(parent) {}
    void SetMainForm(QWidget* mainForm) { mainForm_ = mainForm; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> mainForm_;
};

// The program's application object. Its general error handler catches an exception that
// escapes an event handler (a settings store, tray icon or browser error), shows the error's
// text in a message box and lets the program go on.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    // The window whose closing ends the program.
    void SetMainForm(QWidget* mainForm) { quitRule_.SetMainForm(mainForm); }

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs deliver; an exception it raises goes to HandleException. Gives deliver's result, or
    // false when it raised.
    static bool Guarded(const std::function<bool()>& deliver);

    // Shows the error's text. The main window's message box is used when it exists.
    static void HandleException(const QString& text);

    // Shows the error's text once the event loop runs, as HandleException does; the same text
    // waiting to be shown is not queued twice.
    static void HandleExceptionLater(const QString& text);

    // Replaces the message box, for instance to record what would be shown; empty restores it.
    static void SetErrorPresenter(std::function<void(const QString&)> presenter);

private:
    TMainFormQuitRule quitRule_;
};
