#include "shell/HelpUnit.h"

#include <QApplication>
#include <QEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>

#include "exchange/IntervalTimer.h"
#include "htmlview/HtmlView.h"
#include "shell/GermanHelpDocument.h"
#include "shell/MainUnit.h"
#include "support/ImageList.h"
#include "support/UiFont.h"

THelpForm* HelpForm = nullptr;

namespace {

constexpr int ClientWidth = 507;
constexpr int ClientHeight = 243;
constexpr int ScrollBarWidth = 17;
constexpr int FollowInterval = 10;

}  // namespace

THelpForm::THelpForm(QWidget* parent) : QWidget(parent) {
    HelpForm = this;
    setObjectName("HelpForm");
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    // Only the main window's closing ends the program, also while it sits in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(tr("Help"));
    setWindowIcon(ApplicationIcon());
    QFont font = UiFont("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    resize(ClientWidth, ClientHeight);

    HtmlView = new THtmlView(this);
    HtmlView->setObjectName("HtmlView");
    HtmlView->SetBorderStyle(TBorderStyle::bsNone);
    HtmlView->SetScrollBars(TScrollStyle::ssNone);
    HtmlView->SetHistoryMaxCount(0);
    HtmlView->SetNoSelect(false);
    // The document fixes its text to a dark grey, so it needs a window background that stays
    // light under every skin.
    HtmlView->SetDefBackground(Qt::white);
    HtmlView->SetDefFontName("Times New Roman");
    HtmlView->SetDefPreFontName("Courier New");
    // A negative page margin of 20 would hide the blank lines that the document's two line
    // breaks give above its first heading; this renderer gives those breaks no height, so the
    // margin would cut into "Help Topics" instead. Cancelling just the body's own 8-pixel margin
    // starts the page at the window's top edge, where the "#top" anchor is.
    HtmlView->SetMarginHeight(-8);
    HtmlView->OnProcessing = [this](THtmlView* Sender, bool ProcessingOn) {
        HtmlViewProcessing(Sender, ProcessingOn);
    };
    HtmlView->OnLinkClick = [this](THtmlView* Sender, const ByteString& SRC, bool& Handled) {
        HtmlViewLinkClick(Sender, SRC, Handled);
    };

    ScrollBar = new QScrollBar(Qt::Vertical, this);
    ScrollBar->setObjectName("ScrollBar");
    ScrollBar->setSingleStep(5);
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this] { ScrollBarChange(); });

    // Follows the view only while the window is on screen: a hidden window costs no wake-ups.
    Timer = new TIntervalTimer(this, FollowInterval, false);
    Timer->OnTimer = [this](QObject*) { TimerTimer(); };

    Aux1 = HelpDocumentLinesFor(QLocale());

    ArrangeControls();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
    FormCreate();

    if (MainForm) {
        MainForm->ShowHelp = [this](const ByteString& Anchor) { Open(Anchor); };
        MainForm->MenuContents->setEnabled(true);
    }
}

THelpForm::~THelpForm() {
    qApp->removeEventFilter(this);
    if (HelpForm == this) HelpForm = nullptr;
    if (MainForm) {
        MainForm->ShowHelp = nullptr;
        MainForm->MenuContents->setEnabled(false);
    }
}

void THelpForm::ArrangeControls() {
    const int w = width();
    const int h = height();
    HtmlView->setGeometry(0, 0, std::max(0, w - ScrollBarWidth), h);
    ScrollBar->setGeometry(std::max(0, w - ScrollBarWidth), 0, ScrollBarWidth, h);
}

void THelpForm::Open(const ByteString& Anchor) {
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (!Anchor.empty()) HtmlView->GoToAnchor(Anchor);
    // The scroll bar shows the new place at once, not only at the follower's next tick.
    TimerTimer();
}

void THelpForm::FormCreate() {
    HtmlView->LoadLines(Aux1, "");
}

void THelpForm::FormActivate() {
    // Keys and the wheel scroll the help text at once.
    HtmlView->setFocus(Qt::ActiveWindowFocusReason);
}

void THelpForm::SkinFormMinimize() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    hide();
}

void THelpForm::ScrollBarChange() {
    HtmlView->SetVerticalPosition(ScrollBar->value());
}

void THelpForm::TimerTimer() {
    if (HtmlView->VerticalPosition() != ScrollBar->value()) ScrollBar->setValue(HtmlView->VerticalPosition());
}

void THelpForm::HtmlViewProcessing(THtmlView*, bool) {
    const int clientHeight = HtmlView->viewport()->height();
    ScrollBar->setPageStep(std::max(1, clientHeight));
    ScrollBar->setRange(0, std::max(0, HtmlView->VerticalRange()));
}

void THelpForm::HtmlViewLinkClick(THtmlView*, const ByteString& SRC, bool& Handled) {
    // Anchors stay with the view, which jumps within the help document.
    if (SRC.empty() || SRC[0] == '#') return;
    Handled = true;
    OpenInBrowser(SRC, true);
}

bool THelpForm::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate) FormActivate();
    return result;
}

bool THelpForm::eventFilter(QObject* watched, QEvent* e) {
    // Minimising this window closes it, and must not reach the application-wide minimising
    // that takes every window to the tray: hence a filter ahead of the application's others.
    if (watched == this && e->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        SkinFormMinimize();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void THelpForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ArrangeControls();
}

void THelpForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Installing again puts this filter first, ahead of any installed since.
    qApp->installEventFilter(this);
    Timer->SetEnabled(true);
}

void THelpForm::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    Timer->SetEnabled(false);
    // An iconified window is hidden by the desktop but still open: its minimising must still
    // be caught.
    if (!e->spontaneous()) qApp->removeEventFilter(this);
}
