#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTranslator>

// The program's own texts and Qt's (its standard context menus and dialogs) in the user's
// language, installed into the application for as long as the object lives. English needs no
// file: the source texts are the English ones, so a locale without a translation shows them.
class TProgramTranslations {
public:
    explicit TProgramTranslations(const QLocale& locale, const QStringList& folders = ProgramFolders());
    ~TProgramTranslations();
    TProgramTranslations(const TProgramTranslations&) = delete;
    TProgramTranslations& operator=(const TProgramTranslations&) = delete;

    bool ProgramTextsLoaded() const { return programLoaded_; }
    bool QtTextsLoaded() const { return qtLoaded_; }

    // Where the program's .qm files are looked for: beside an installed program's data
    // (bin/../share/quorvel/translations), then the build folder's translations/.
    static QStringList ProgramFolders();

private:
    QTranslator program_;
    QTranslator qt_;
    bool programLoaded_ = false;
    bool qtLoaded_ = false;
};
