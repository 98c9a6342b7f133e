#include "shell/ProgramTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

TProgramTranslations::TProgramTranslations(const QLocale& locale, const QStringList& folders) {
    for (const QString& folder : folders) {
        if (program_.load(locale, QStringLiteral("quorvel"), QStringLiteral("_"), folder)) {
            programLoaded_ = QCoreApplication::installTranslator(&program_);
            break;
        }
    }
    if (qt_.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qtLoaded_ = QCoreApplication::installTranslator(&qt_);
}

TProgramTranslations::~TProgramTranslations() {
    if (programLoaded_) QCoreApplication::removeTranslator(&program_);
    if (qtLoaded_) QCoreApplication::removeTranslator(&qt_);
}

QStringList TProgramTranslations::ProgramFolders() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(programDir.filePath(QStringLiteral("../share/quorvel/translations"))),
            programDir.filePath(QStringLiteral("translations"))};
}
