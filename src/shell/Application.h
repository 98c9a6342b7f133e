#pragma once

#include <QApplication>
#include <QString>
#include <functional>

// The program's application object. Its general error handler catches an exception that
// escapes an event handler (a settings store, tray icon or browser error), shows the error's
// text in a message box and lets the program go on.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs deliver; an exception it raises goes to HandleException. Gives deliver's result, or
    // false when it raised.
    static bool Guarded(const std::function<bool()>& deliver);

    // Shows the error's text. The main window's message box is used when it exists.
    static void HandleException(const QString& text);

    // Replaces the message box, for instance to record what would be shown; empty restores it.
    static void SetErrorPresenter(std::function<void(const QString&)> presenter);
};
