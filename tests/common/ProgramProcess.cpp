#include "ProgramProcess.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

namespace testing_support {

QString BuiltProgramPath() {
    return QDir(QCoreApplication::applicationDirPath() + "/..").absoluteFilePath("quorvel");
}

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList VisibleWindows(qint64 pid, const QString& titlePattern) {
    const QString found = RunTool("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                                              QString::number(pid), "--name", titlePattern});
    return found.isEmpty() ? QStringList() : found.split('\n');
}

TProgramProcesses::~TProgramProcesses() {
    for (auto& process : processes_) {
        if (process->state() == QProcess::NotRunning) continue;
        process->terminate();
        if (!process->waitForFinished(10000)) {
            process->kill();
            process->waitForFinished();
        }
    }
}

QProcess* TProgramProcesses::Start(const QString& program, const QStringList& arguments,
                                   const QProcessEnvironment& environment) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, arguments);
    if (!process->waitForStarted()) ADD_FAILURE() << program.toStdString() << " could not be started";
    processes_.push_back(std::move(process));
    return processes_.back().get();
}

}  // namespace testing_support
