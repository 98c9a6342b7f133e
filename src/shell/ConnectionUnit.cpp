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

#include "exchange/HTTPUnit.h"
#include "shell/MainUnit.h"
#include "shell/SettingsReading.h"
#include "support/SettingsStore.h"

TConnectionForm* ConnectionForm = nullptr;

namespace {

QString Widen(const ByteString& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

ByteString Narrow(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QFrame* NewPanel(QWidget* parent, int left, int top) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setGeometry(left, top, 228, 70);
    return panel;
}

QLabel* NewLabel(QWidget* parent, const QString& caption, int top) {
    auto* label = new QLabel(caption, parent);
    label->setGeometry(8, top, 58, 21);
    return label;
}

QLineEdit* NewEdit(QWidget* parent, int top) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(68, top, 149, 21);
    return edit;
}

constexpr int VK_F1 = 112;

}  // namespace

TConnectionForm::TConnectionForm(QWidget* parent) : QWidget(parent) {
    ConnectionForm = this;
    setObjectName("ConnectionForm");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Connection");
    setFixedSize(240, 188);

    PanelUser = NewPanel(this, 5, 5);
    LabelUser = NewLabel(PanelUser, "Username", 12);
    LabelPass = NewLabel(PanelUser, "Password", 38);
    EditUser = NewEdit(PanelUser, 12);
    EditPass = NewEdit(PanelUser, 38);
    LabelUser->setBuddy(EditUser);
    LabelPass->setBuddy(EditPass);

    PanelConnect = NewPanel(this, 5, 77);
    LabelURL = NewLabel(PanelConnect, "Script URL", 12);
    LabelDelay = NewLabel(PanelConnect, "Interval", 38);
    EditURL = NewEdit(PanelConnect, 12);
    LabelURL->setBuddy(EditURL);
    SpinEditDelay = new QSpinBox(PanelConnect);
    SpinEditDelay->setGeometry(68, 38, 45, 21);
    SpinEditDelay->setRange(1, 60);
    SpinEditDelay->setValue(5);
    LabelDelay->setBuddy(SpinEditDelay);
    RadioSecs = new QRadioButton("Secs", PanelConnect);
    RadioSecs->setGeometry(120, 40, 48, 17);
    RadioSecs->setChecked(true);
    RadioMins = new QRadioButton("Mins", PanelConnect);
    RadioMins->setGeometry(170, 40, 48, 17);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));

    ButtonOk = new QPushButton("Ok", this);
    ButtonOk->setGeometry(88, 156, 75, 25);
    ButtonOk->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, [this] { ButtonOkClick(); });

    setTabOrder(EditUser, EditPass);
    setTabOrder(EditPass, EditURL);
    setTabOrder(EditURL, SpinEditDelay);
    setTabOrder(SpinEditDelay, RadioSecs);
    setTabOrder(RadioSecs, RadioMins);
    setTabOrder(RadioMins, ButtonOk);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { FormShortCut(VK_F1); });

    FormCreate();
}

TConnectionForm::~TConnectionForm() {
    if (ConnectionForm == this) ConnectionForm = nullptr;
}

void TConnectionForm::FormCreate() {
    EditPass->setEchoMode(QLineEdit::Password);
    TSettingsStore* store = MainForm ? MainForm->SettingsStore : nullptr;
    if (!store) return;
    User = ReadSetting<ByteString>("", [&] { return store->ReadText("Connection", "User", ""); });
    URL = ReadSetting<ByteString>("", [&] { return store->ReadText("Connection", "URL", ""); });
    Delay = ReadSetting<int32_t>(5, [&] { return store->ReadNumber("Connection", "Delay", 5); });
    Mins = ReadSetting(false, [&] { return store->ReadFlag("Connection", "Mins", false); });
    if (ReadSetting(false, [&] { return store->ReadFlag("Caching", "SavePass", false); }))
        Pass = ReadSetting<ByteString>("", [&] { return store->ReadText("Connection", "Pass", ""); });
}

void TConnectionForm::FormActivate() {
    if (HTTPForm) HTTPForm->Paused = true;
    if (MainForm) MainForm->setEnabled(false);

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
    if (MainForm && MainForm->ShowHelp) {
        MainForm->ShowHelp("#option");
        return true;
    }
    return false;
}

void TConnectionForm::FormClose() {
    if (MainForm) MainForm->setEnabled(true);
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
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return result;
}

void TConnectionForm::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    focusURLOnActivate_ = false;
    FormClose();
}
