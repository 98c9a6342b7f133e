// The program's texts in English and German: the real windows built after the translations the
// program installs, Qt's own context menu, and the message box (offscreen).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "base/WideText.h"
#include "common/ProgramHarness.h"
#include "exchange/HTTPUnit.h"
#include "shell/ConnectionUnit.h"
#include "shell/MainUnit.h"
#include "shell/ProgramTranslations.h"
#include "support/MessageBox.h"
#include "support/SettingsStore.h"

using namespace testing_support;

namespace {

const QStringList BuildFolders{QStringLiteral(QUORVEL_BUILD_TRANSLATIONS)};

struct TShownBox {
    QString Title;
    QString Text;
    QStringList Buttons;
};

// Opens the main window's message box with a warning and reads what it shows, then closes it.
TShownBox ShowWarning(TMainForm& main, const QString& text) {
    TShownBox shown;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->inherits("TMessageBoxForm") || !box->isVisible()) return;
        reader.stop();
        shown.Title = box->windowTitle();
        if (auto* message = box->findChild<QLabel*>(QStringLiteral("Message"))) shown.Text = message->text();
        for (QPushButton* button : box->findChildren<QPushButton*>()) shown.Buttons << button->text();
        box->close();
    });
    reader.start(10);
    main.MsgBox->ShowDialog(text, mkWarning, {mbOK, mbCancel}, 0);
    return shown;
}

// The captions a user reads in the main window and the Connection dialog, as one list.
QStringList Captions(const TProgram& program) {
    const TMainForm& main = *program.Main;
    const TConnectionForm& form = *program.Connection;
    QStringList captions;
    for (QAction* menu : main.MenuBar->actions()) {
        if (!menu->isVisible()) continue;
        captions << menu->text();
        for (QAction* item : menu->menu()->actions()) captions << item->text();
    }
    captions << main.PanelShort->Caption() << form.windowTitle() << form.LabelUser->text()
             << form.LabelPass->text() << form.LabelURL->text() << form.LabelDelay->text()
             << form.RadioSecs->text() << form.RadioMins->text() << form.ButtonOk->text();
    return captions;
}

QStringList ContextMenuTexts() {
    QLineEdit edit;
    edit.setText(QStringLiteral("text"));
    edit.selectAll();
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text().section(QLatin1Char('\t'), 0, 0);
    return texts;
}

struct TLanguageCase {
    const char* Locale;
    bool ProgramTexts;  // a translation of the program's own is loaded
    QStringList Captions;
    TShownBox Box;
    QString ConnectionFailed;
    QStringList ContextMenu;
    QString SettingsError;  // a stored value of the wrong kind, as the message box reports it
};

const QString EnglishFailure =
    QStringLiteral("Connection Failed!\r\nCheck that you correctly entered webscript URL!");

const TLanguageCase LanguageCases[] = {
    {"en_US",
     false,
     {"Options", "Connection", "Save Password", "Desktop Notifications", "Start with Desktop", "Help",
      "Contents", "About", " Messages", "Connection", "Username", "Password", "Script URL", "Interval",
      "Secs", "Mins", "Ok"},
     {"Warning", "Text", {"OK", "Cancel"}},
     EnglishFailure,
     {"&Undo", "&Redo", "Cu&t", "&Copy", "&Paste", "Delete", "Select All"},
     "Invalid data type for 'User'"},
    {"de_DE",
     true,
     {"Optionen", "Verbindung", "Passwort speichern", "Desktop-Benachrichtigungen", "Mit dem Desktop starten",
      "Hilfe", "Inhalt", "Info", " Nachrichten", "Verbindung", "Benutzername", "Passwort", "Skript-URL",
      "Intervall", "Sek.", "Min.", "OK"},
     {"Warnung", "Text", {"OK", "Abbrechen"}},
     QStringLiteral(
         "Verbindung fehlgeschlagen!\r\nPrüfen Sie, ob die URL des Web-Skripts richtig eingegeben ist!"),
     {"&Rückgängig", "Wieder&herstellen", "&Ausschneiden", "&Kopieren", "Einf&ügen", "Löschen",
      "Alles auswählen"},
     QStringLiteral("Ungültiger Datentyp für 'User'")},
};

class Translations : public ::testing::Test {
protected:
    void SetUp() override { ResetUserSettings(); }
};

TEST_F(Translations, WindowsMessageBoxesAndQtsMenusSpeakTheLocalesLanguage) {
    for (const TLanguageCase& c : LanguageCases) {
        SCOPED_TRACE(c.Locale);
        const TProgramTranslations translations(QLocale(QString::fromLatin1(c.Locale)), BuildFolders);
        EXPECT_EQ(translations.ProgramTextsLoaded(), c.ProgramTexts);
        TProgram program(false);
        program.HoldTimer();
        EXPECT_EQ(Captions(program), c.Captions);

        const TShownBox box = ShowWarning(*program.Main, QStringLiteral("Text"));
        EXPECT_EQ(box.Title, c.Box.Title);
        EXPECT_EQ(box.Text, c.Box.Text);
        EXPECT_EQ(box.Buttons, c.Box.Buttons);

        QString failure;
        program.HTTP->OnConnectionFailed = [&](const ByteString& text) { failure = Widen(text); };
        program.HTTP->ReportConnectionFailed();
        EXPECT_EQ(failure, c.ConnectionFailed);

        EXPECT_EQ(ContextMenuTexts(), c.ContextMenu);

        QString settingsError;
        program.Main->SettingsStore->WriteNumber("Connection", "User", 3);
        try {
            program.Main->SettingsStore->ReadText("Connection", "User", "");
        } catch (const ERegistryException& error) {
            settingsError = QString::fromStdString(error.what());
        }
        EXPECT_EQ(settingsError, c.SettingsError);
        // The next language's windows start on clean settings, not on this wrong value.
        ResetUserSettings();
    }
}

TEST_F(Translations, RemovingTheTranslationsGivesTheEnglishTextsBack) {
    {
        const TProgramTranslations german(QLocale(QStringLiteral("de_DE")), BuildFolders);
        ASSERT_TRUE(german.ProgramTextsLoaded());
        ASSERT_TRUE(german.QtTextsLoaded());
    }
    TProgram program(false);
    program.HoldTimer();
    EXPECT_EQ(Captions(program), LanguageCases[0].Captions);
    EXPECT_EQ(ContextMenuTexts(), LanguageCases[0].ContextMenu);
}

TEST_F(Translations, ProgramTextsAreLookedForInEachFolderInTurn) {
    const QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    struct Case {
        const char* Name;
        QStringList Folders;
        bool Loaded;
    };
    const Case cases[] = {
        {"no folder", {}, false},
        {"a folder without the file", {empty.path()}, false},
        {"an empty folder first, then the build's", {empty.path(), BuildFolders.front()}, true},
        {"the build's", BuildFolders, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TProgramTranslations translations(QLocale(QStringLiteral("de_DE")), c.Folders);
        EXPECT_EQ(translations.ProgramTextsLoaded(), c.Loaded);
        EXPECT_EQ(QCoreApplication::translate("TMainForm", "Options"),
                  c.Loaded ? QStringLiteral("Optionen") : QStringLiteral("Options"));
    }
}

}  // namespace
