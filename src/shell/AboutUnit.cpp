#include "shell/AboutUnit.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "exchange/HTTPUnit.h"
#include "platform/DesktopOpener.h"
#include "shell/MainUnit.h"
#include "shell/MakerInfo.h"
#include "support/ImageList.h"
#include "support/UiFont.h"

TAboutForm* AboutForm = nullptr;

namespace {

constexpr int ClientWidth = 349;
constexpr int ClientHeight = 176;

QLabel* NewLabel(QWidget* parent, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    label->adjustSize();
    return label;
}

void SetBold(QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

}  // namespace

TURLLabel::TURLLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setTextFormat(Qt::PlainText);
    QFont font = this->font();
    font.setUnderline(true);
    setFont(font);
    setForegroundRole(QPalette::Highlight);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

bool TURLLabel::Open() {
    if (!platform::OpenWithDesktop(url_)) return false;
    visited_ = true;
    setForegroundRole(QPalette::LinkVisited);
    return true;
}

void TURLLabel::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    e->accept();
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* e) {
    // Like a button: the click counts when the button comes up over the label it went down on.
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    e->accept();
    if (click) Open();
}

void TURLLabel::keyPressEvent(QKeyEvent* e) {
    // Enter belongs to the box's default button; a focused link opens with the space bar.
    if (e->key() == Qt::Key_Space) {
        Open();
        e->accept();
        return;
    }
    QLabel::keyPressEvent(e);
}

TAboutForm::TAboutForm(QWidget* parent) : QWidget(parent) {
    AboutForm = this;
    setObjectName("AboutForm");
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // Only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(tr("About"));
    setWindowIcon(ApplicationIcon());
    QFont font = UiFont("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    setFixedSize(ClientWidth, ClientHeight);

    Panel = new QFrame(this);
    Panel->setObjectName("Panel");
    Panel->setFrameShape(QFrame::StyledPanel);
    Panel->setFrameShadow(QFrame::Raised);
    Panel->setGeometry(10, 10, 327, 121);

    ProgramIcon = new QLabel(Panel);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setPixmap(ApplicationIcon().pixmap(QSize(32, 32)));
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setGeometry(17, 17, 65, 57);

    LabelProduct = NewLabel(Panel, "Quorvel 1.01", 104, 16);
    LabelProduct->setObjectName("LabelProduct");
    SetBold(LabelProduct);
    LabelProduct->setForegroundRole(QPalette::Link);
    LabelProduct->adjustSize();

    // The layout's line; every activation writes it again with the copyright sign itself.
    LabelCopyright = NewLabel(Panel, CopyrightLine("(C)"), 104, 40);
    LabelCopyright->setObjectName("LabelCopyright");
    SetBold(LabelCopyright);
    LabelCopyright->adjustSize();

    LabelReserved = NewLabel(Panel, tr(Maker.RightsNotice), 104, 56);
    LabelReserved->setObjectName("LabelReserved");

    LabelSupport = NewLabel(Panel, tr("Technical Support:"), 16, 88);
    LabelSupport->setObjectName("LabelSupport");

    URLLabel = new TURLLabel(Maker.SiteCaption, Panel);
    URLLabel->setObjectName("URLLabel");
    URLLabel->SetURL(Maker.SiteAddress);
    URLLabel->setToolTip(Maker.SiteAddress);
    // Right of its caption, also where the caption's font is wider than the layout's.
    URLLabel->move(std::max(110, LabelSupport->geometry().right() + 6), 88);
    URLLabel->adjustSize();

    OKButton = new QPushButton(tr("Ok"), this);
    OKButton->setObjectName("OKButton");
    OKButton->setGeometry(137, 141, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }

    if (MainForm) {
        MainForm->ShowAbout = [this] { Open(); };
        MainForm->MenuAbout->setEnabled(true);
    }
}

TAboutForm::~TAboutForm() {
    if (AboutForm == this) AboutForm = nullptr;
    if (MainForm) {
        MainForm->ShowAbout = nullptr;
        MainForm->MenuAbout->setEnabled(false);
    }
}

QString TAboutForm::CopyrightLine(const QString& sign) {
    return tr("Copyright %1 %2 %3").arg(sign, Maker.CopyrightYears, Maker.CopyrightHolder);
}

void TAboutForm::Open() {
    show();
    raise();
    activateWindow();
}

void TAboutForm::FormActivate() {
    // No failure message of the poll cycle may pop up over the box.
    if (HTTPForm) HTTPForm->Paused = true;
    if (MainForm) MainForm->setEnabled(false);
    LabelCopyright->setText(CopyrightLine(QString(QChar(0x00A9))));
    LabelCopyright->adjustSize();
    OKButton->setFocus(Qt::ActiveWindowFocusReason);
}

void TAboutForm::FormClose() {
    if (MainForm) MainForm->setEnabled(true);
    if (HTTPForm) HTTPForm->Paused = false;
}

void TAboutForm::OKButtonClick() {
    close();
}

bool TAboutForm::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return result;
}

void TAboutForm::keyPressEvent(QKeyEvent* e) {
    // A box with one button: Enter presses it, Escape closes the box as well.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        e->accept();
        OKButtonClick();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TAboutForm::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    FormClose();
}
