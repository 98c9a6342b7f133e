#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace testing_support {

// The built program, `quorvel` in the build folder above the test programs' own.
QString BuiltProgramPath();

// Runs a tool to its end (at most ten seconds) and gives what it wrote to its standard output,
// trimmed; empty when it did not end in time.
QString RunTool(const QString& program, const QStringList& arguments);

// The visible windows on $DISPLAY of the process with that pid whose title matches the pattern
// (xdotool's), as X window ids.
QStringList VisibleWindows(qint64 pid, const QString& titlePattern);

// The program's main window's title, as a pattern for VisibleWindows.
inline const QString MainWindowTitle = QStringLiteral("^Quorvel 1\\.01$");

// Real program processes a test starts. Each is ended with the object: asked to terminate, and
// killed when it has not ended after ten seconds.
class TProgramProcesses {
public:
    TProgramProcesses() = default;
    ~TProgramProcesses();
    TProgramProcesses(const TProgramProcesses&) = delete;
    TProgramProcesses& operator=(const TProgramProcesses&) = delete;

    // Starts the program with the environment given (the test's own by default); its errors go to
    // the test's. A program that cannot be started fails the test.
    QProcess* Start(const QString& program, const QStringList& arguments = {},
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

private:
    std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace testing_support
