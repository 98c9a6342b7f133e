#include "shell/ConnectionUnit.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <algorithm>
#include <utility>

#include "base/WideText.h"
#include "exchange/HTTPUnit.h"
#include "shell/StoredSettings.h"
#include "shell/WindowKeys.h"

TConnectionForm* ConnectionForm = nullptr;

namespace {

QFrame* NewPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    return panel;
}

constexpr int VK_F1 = 112;

}  // namespace

TConnectionForm::TConnectionForm(TSettingsStore* store, bool passSaved, QWidget* mainWindow, QWidget* parent)
    : QWidget(parent), mainWindow_(mainWindow) {
    ConnectionForm = this;
    setObjectName("ConnectionForm");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(tr("Connection"));

    PanelUser = NewPanel(this);
    LabelUser = new QLabel(tr("Username"), PanelUser);
    LabelPass = new QLabel(tr("Password"), PanelUser);
    EditUser = new QLineEdit(PanelUser);
    EditPass = new QLineEdit(PanelUser);
    LabelUser->setBuddy(EditUser);
    LabelPass->setBuddy(EditPass);

    PanelConnect = NewPanel(this);
    LabelURL = new QLabel(tr("Script URL"), PanelConnect);
    LabelDelay = new QLabel(tr("Interval"), PanelConnect);
    EditURL = new QLineEdit(PanelConnect);
    LabelURL->setBuddy(EditURL);
    SpinEditDelay = new QSpinBox(PanelConnect);
    SpinEditDelay->setRange(1, 60);
    SpinEditDelay->setValue(5);
    LabelDelay->setBuddy(SpinEditDelay);
    RadioSecs = new QRadioButton(tr("Secs"), PanelConnect);
    RadioSecs->setChecked(true);
    RadioMins = new QRadioButton(tr("Mins"), PanelConnect);

    ButtonOk = new QPushButton(tr("Ok"), this);
    ArrangeControls();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));

    ButtonOk->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });
    DialogKeys(this, ButtonOk);

    setTabOrder(EditUser, EditPass);
    setTabOrder(EditPass, EditURL);
    setTabOrder(EditURL, SpinEditDelay);
    setTabOrder(SpinEditDelay, RadioSecs);
    setTabOrder(RadioSecs, RadioMins);
    setTabOrder(RadioMins, ButtonOk);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { FormShortCut(VK_F1); });

    FormCreate(store, passSaved);
}

TConnectionForm::~TConnectionForm() {
    if (ConnectionForm == this) ConnectionForm = nullptr;
}

void TConnectionForm::ArrangeControls() {
    // The layout's own measures, each grown by what the captions and controls need in the font
    // they are shown with, so that nothing is cut; the order and the spacing stay.
    int labelWidth = 58;
    for (QLabel* label : {LabelUser, LabelPass, LabelURL, LabelDelay})
        labelWidth = std::max(labelWidth, label->sizeHint().width());
    const int rowHeight = std::max(21, fontMetrics().height() + 6);
    const int firstTop = 12;
    const int secondTop = firstTop + rowHeight + 5;
    const int editLeft = 8 + labelWidth + 2;
    const int editWidth = 149;

    for (auto [label, top] : {std::pair{LabelUser, firstTop},
                              {LabelPass, secondTop},
                              {LabelURL, firstTop},
                              {LabelDelay, secondTop}})
        label->setGeometry(8, top, labelWidth, rowHeight);
    EditUser->setGeometry(editLeft, firstTop, editWidth, rowHeight);
    EditPass->setGeometry(editLeft, secondTop, editWidth, rowHeight);
    EditURL->setGeometry(editLeft, firstTop, editWidth, rowHeight);

    const int spinWidth = std::max(45, SpinEditDelay->sizeHint().width());
    SpinEditDelay->setGeometry(editLeft, secondTop, spinWidth, rowHeight);
    const QSize secs = RadioSecs->sizeHint().expandedTo(QSize(48, 17));
    const QSize mins = RadioMins->sizeHint().expandedTo(QSize(48, 17));
    const int secsLeft = editLeft + spinWidth + 7;
    const int minsLeft = std::max(secsLeft + secs.width() + 2, 170);
    RadioSecs->setGeometry(secsLeft, secondTop + (rowHeight - secs.height()) / 2, secs.width(),
                           secs.height());
    RadioMins->setGeometry(minsLeft, secondTop + (rowHeight - mins.height()) / 2, mins.width(),
                           mins.height());

    const int panelWidth = std::max({228, editLeft + editWidth + 11, minsLeft + mins.width() + 10});
    const int panelHeight = std::max(70, secondTop + rowHeight + 11);
    PanelUser->setGeometry(5, 5, panelWidth, panelHeight);
    PanelConnect->setGeometry(5, 5 + panelHeight + 2, panelWidth, panelHeight);

    const int clientWidth = panelWidth + 12;
    const QSize ok = ButtonOk->sizeHint().expandedTo(QSize(75, 25));
    const int okTop = PanelConnect->geometry().bottom() + 1 + 9;
    ButtonOk->setGeometry(88 + (clientWidth - 240) / 2 - (ok.width() - 75) / 2, okTop, ok.width(),
                          ok.height());
    setFixedSize(clientWidth, okTop + ok.height() + 7);
}

void TConnectionForm::FormCreate(TSettingsStore* store, bool passSaved) {
    EditPass->setEchoMode(QLineEdit::Password);
    // The mask character is "*" whatever the style would show.
    EditPass->setStyleSheet("lineedit-password-character: 42");
    if (!store) return;
    User = ReadStoredSetting(*store, &TStoredSettings::User);
    URL = ReadStoredSetting(*store, &TStoredSettings::URL);
    Delay = ReadStoredSetting(*store, &TStoredSettings::Delay);
    Mins = ReadStoredSetting(*store, &TStoredSettings::Mins);
    // A password that is not to be kept is not read at all.
    if (passSaved) Pass = ReadStoredSetting(*store, &TStoredSettings::Pass);
}

void TConnectionForm::FormActivate() {
    if (HTTPForm) HTTPForm->Paused = true;
    if (mainWindow_) mainWindow_->setEnabled(false);

    EditUser->setText(Widen(User));
    EditPass->setText(Widen(Pass));
    EditURL->setText(Widen(URL));
    SpinEditDelay->setValue(Delay);
    RadioSecs->setChecked(!Mins);
    RadioMins->setChecked(Mins);

    if (!EditUser->text().isEmpty()) {
        if (EditURL->text().isEmpty()) EditURL->setFocus(Qt::OtherFocusReason);
        if (EditPass->text().isEmpty()) EditPass->setFocus(Qt::OtherFocusReason);
    }
    if (focusURLOnActivate_) {
        focusURLOnActivate_ = false;
        EditURL->setFocus(Qt::OtherFocusReason);
    }
}

bool TConnectionForm::FormShortCut(int Key) {
    if (Key != VK_F1) return false;
    return ShowHelp && ShowHelp("#option");
}

void TConnectionForm::FormClose() {
    if (mainWindow_) mainWindow_->setEnabled(true);
    if (HTTPForm) {
        HTTPForm->Paused = false;
        HTTPForm->Poll();
    }
}

void TConnectionForm::ButtonOkClick() {
    const int32_t delay = SpinEditDelay->value();
    const bool changed = EditUser->text() != Widen(User) || EditPass->text() != Widen(Pass) ||
                         EditURL->text() != Widen(URL) || delay != Delay || RadioMins->isChecked() != Mins;
    if (changed) {
        User = Narrow(EditUser->text());
        Pass = Narrow(EditPass->text());
        URL = Narrow(EditURL->text());
        Delay = delay;
        Mins = RadioMins->isChecked();
        if (URL.find("://") == ByteString::npos) URL = "http://" + URL;
        if (HTTPForm) HTTPForm->ResetSession();
    }
    close();
}

void TConnectionForm::Open() {
    show();
    raise();
    activateWindow();
}

void TConnectionForm::ShowWithURLFocus() {
    if (isVisible() && isActiveWindow()) {
        EditURL->setFocus(Qt::OtherFocusReason);
        return;
    }
    focusURLOnActivate_ = true;
    Open();
}

bool TConnectionForm::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if ((e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) && ButtonOk) ArrangeControls();
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return result;
}

void TConnectionForm::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    focusURLOnActivate_ = false;
    FormClose();
}
