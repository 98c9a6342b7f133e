#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "base/Text.h"
#include "exchange/ConnectionSettings.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TSettingsStore;

// The Connection dialog and, in its fields, the connection settings of the whole run.
//
// Created once at start-up (shell/ProgramWindows), after the main window, whose settings store its
// creation reads, and before HTTPForm: a top-level window without parent, hidden until shown. The
// constructor sets the global `ConnectionForm`, the destructor clears it. It is shown modelessly
// (`show()`); while it is active the main window is disabled and HTTPForm->Paused is set, and
// closing it undoes both and polls at once.
class TConnectionForm : public QWidget {
    Q_OBJECT
public:
    // Reads the stored settings from `store`, the password only when `passSaved` (the check mark
    // of "Save Password"). `mainWindow` is the window disabled while the dialog is active.
    TConnectionForm(TSettingsStore* store, bool passSaved, QWidget* mainWindow, QWidget* parent = nullptr);
    ~TConnectionForm() override;

    // Settings held for the whole run.
    ByteString User;
    ByteString Pass;
    ByteString URL;
    int32_t Delay = 5;
    bool Mins = false;

    QFrame* PanelUser = nullptr;
    QLabel* LabelUser = nullptr;
    QLabel* LabelPass = nullptr;
    QLineEdit* EditUser = nullptr;
    QLineEdit* EditPass = nullptr;
    QFrame* PanelConnect = nullptr;
    QLabel* LabelURL = nullptr;
    QLabel* LabelDelay = nullptr;
    QLineEdit* EditURL = nullptr;
    QSpinBox* SpinEditDelay = nullptr;
    QRadioButton* RadioSecs = nullptr;
    QRadioButton* RadioMins = nullptr;
    QPushButton* ButtonOk = nullptr;

    // Shows the Help window scrolled to an anchor; false when there is no Help window.
    std::function<bool(const ByteString& Anchor)> ShowHelp;

    void FormCreate(TSettingsStore* store, bool passSaved);
    void FormActivate();
    bool FormShortCut(int Key);  // true: handled
    void FormClose();
    void ButtonOkClick();

    // The settings held now, as the poll cycle reads them.
    TConnectionSettings Settings() const { return {User, Pass, URL, Delay, Mins}; }

    // Places the controls by the layout's measures, grown where the font needs more room.
    void ArrangeControls();

    // Makes the dialog visible, raised and active.
    void Open();
    // Opens the dialog and puts the focus into EditURL once it is active (after a failed poll).
    void ShowWithURLFocus();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QWidget* mainWindow_;
    bool focusURLOnActivate_ = false;
};

extern TConnectionForm* ConnectionForm;
