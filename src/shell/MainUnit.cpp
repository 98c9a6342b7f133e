#include "shell/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>

#include "base/Address.h"
#include "base/WideText.h"
#include "exchange/DataUnit.h"
#include "exchange/HTTPUnit.h"
#include "exchange/IntervalTimer.h"
#include "htmlview/HtmlView.h"
#include "platform/Autostart.h"
#include "platform/TransientDialogs.h"
#include "shell/ArrivalNotifier.h"
#include "shell/ConnectionUnit.h"
#include "shell/FindBar.h"
#include "shell/MessageListModel.h"
#include "shell/MessageViewKeys.h"
#include "shell/SingleInstance.h"
#include "shell/Skins.h"
#include "shell/StoredSettings.h"
#include "shell/WindowKeys.h"
#include "support/ImageList.h"
#include "support/MessageBox.h"
#include "support/SettingsStore.h"
#include "support/TrayIcon.h"
#include "support/UiFont.h"

TMainForm* MainForm = nullptr;

namespace {

constexpr int VK_F1 = 112;
constexpr int ClientWidth = 565;
constexpr int ClientHeight = 287;
constexpr int Margin = 5;
constexpr int ScrollBarWidth = 17;

}  // namespace

THeaderPanel::THeaderPanel(const QString& caption, QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    caption_ = new QLabel(caption, this);
    caption_->setObjectName("HeaderCaption");
    caption_->setAutoFillBackground(true);
    caption_->setBackgroundRole(QPalette::Button);
    caption_->setForegroundRole(QPalette::ButtonText);
    caption_->setTextFormat(Qt::PlainText);
    QFont bold = caption_->font();
    bold.setBold(true);
    caption_->setFont(bold);
    client_ = new QWidget(this);
}

QString THeaderPanel::Caption() const {
    return caption_->text();
}

void THeaderPanel::SetCaption(const QString& caption) {
    caption_->setText(caption);
}

void THeaderPanel::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    Arrange();
}

void THeaderPanel::Arrange() {
    const QRect inside = contentsRect();
    caption_->setGeometry(inside.left(), inside.top(), inside.width(), CaptionHeight);
    client_->setGeometry(inside.left(), inside.top() + CaptionHeight, inside.width(),
                         std::max(0, inside.height() - CaptionHeight));
}

TMainForm::TMainForm(QWidget* parent) : QWidget(parent) {
    MainForm = this;
    setObjectName("MainForm");
    // Close and minimise only: the window cannot be resized.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle("Quorvel 1.01");
    setWindowIcon(ApplicationIcon());
    QFont font = UiFont("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    setFixedSize(ClientWidth, ClientHeight);
    move(195, 139);

    SettingsStore = new TSettingsStore(this);
    SettingsStore->SetPath("\\Software\\Quorvel1980Dax");
    SettingsStore->SetPathType(ptRegistry);

    ImagesTrayRead = new TImageList(this);
    LoadImagesTrayRead(*ImagesTrayRead);
    ImagesTrayUnread = new TImageList(this);
    LoadImagesTrayUnread(*ImagesTrayUnread);
    ImagesList = new TImageList(this);
    LoadImagesList(*ImagesList);

    MsgBox = new TMessageBox(this);
    MsgBox->MessageFont = TMessageBox::ProgramFont();
    MsgBox->ButtonFont = TMessageBox::ProgramFont();
    MsgBox->Position = poScreenCenter;

    MenuBar = new QMenuBar(this);
    MenuBar->setNativeMenuBar(false);
    MenuSkins = MenuBar->addMenu(tr("Skins"));
    MenuSkin1 = MenuSkins->addAction("Swing Metal");
    MenuSkin1->setData(0);
    MenuSkin2 = MenuSkins->addAction("X Pulse");
    MenuSkin2->setData(1);
    MenuSkins->menuAction()->setVisible(false);
    connect(MenuSkins, &QMenu::triggered, this, [this](QAction* item) { MenuSkinsClick(item); });
    MenuOptions = MenuBar->addMenu(tr("Options"));
    MenuConnection = MenuOptions->addAction(tr("Connection"));
    connect(MenuConnection, &QAction::triggered, this, [this] { MenuConnectionClick(); });
    MenuSavePass = MenuOptions->addAction(tr("Save Password"));
    MenuSavePass->setCheckable(true);
    connect(MenuSavePass, &QAction::triggered, this, [this] { MenuSavePassClick(); });
    // Desktop integration (begin)
    MenuDesktopNotify = MenuOptions->addAction(tr("Desktop Notifications"));
    MenuDesktopNotify->setCheckable(true);
    connect(MenuDesktopNotify, &QAction::triggered, this, [this] { MenuDesktopNotifyClick(); });
    MenuStartWithDesktop = MenuOptions->addAction(tr("Start with Desktop"));
    MenuStartWithDesktop->setCheckable(true);
    connect(MenuStartWithDesktop, &QAction::triggered, this, [this] { MenuStartWithDesktopClick(); });
    ArrivalNotifier = new TArrivalNotifier(this);
    ArrivalNotifier->WindowActive = [this] { return isActiveWindow(); };
    ArrivalNotifier->OpenMessage = [this](TNotification* n) { OpenMessage(n); };
    // Desktop integration (end)
    MenuHelp = MenuBar->addMenu(tr("Help"));
    MenuContents = MenuHelp->addAction(tr("Contents"));
    MenuContents->setEnabled(false);
    connect(MenuContents, &QAction::triggered, this, [this] { MenuContentsClick(); });
    MenuAbout = MenuHelp->addAction(tr("About"));
    MenuAbout->setEnabled(false);
    connect(MenuAbout, &QAction::triggered, this, [this] { MenuAboutClick(); });
    MenuBar->setGeometry(0, 0, ClientWidth, MenuBar->sizeHint().height());

    PanelShort = new THeaderPanel(tr(" Messages"), this);
    PanelShort->setObjectName("PanelShort");
    PanelLong = new THeaderPanel(QString(), this);
    PanelLong->setObjectName("PanelLong");

    ListItems = new TMessageListModel(&TMainForm::ListViewCompare, this);
    ListItems->SetImageSource([this](int imageIndex) { return ImagesList->Icon(imageIndex); });
    ListView = new QListView(PanelShort->Client());
    ListView->setObjectName("ListView");
    ListView->setViewMode(QListView::ListMode);
    ListView->setUniformItemSizes(true);
    ListView->setIconSize(QSize(16, 16));
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setFrameShape(QFrame::NoFrame);
    ListView->setTextElideMode(Qt::ElideRight);
    ListView->setModel(ListItems);
    ListView->viewport()->installEventFilter(this);
    OpenEntryOnEnter(ListView, [this] { ListViewDblClick(); });
    KeepDialogsAboveMainWindow(this);
    // The first click of a double-click selects the entry: its document is built before the second.
    connect(ListView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (TNotification* n = ListItems->Data(current.isValid() ? current.row() : -1))
                    PrepareMessage(n, TPrepare::Soon);
            });

    HtmlView = new THtmlView(PanelLong->Client());
    HtmlView->setObjectName("HtmlView");
    HtmlView->SetBorderStyle(TBorderStyle::bsNone);
    HtmlView->SetScrollBars(TScrollStyle::ssNone);
    HtmlView->SetHistoryMaxCount(0);
    HtmlView->SetNoSelect(false);
    HtmlView->SetDefBackground(SystemColor(TSystemColor::clCaptionText));
    HtmlView->SetDefFontName("Times New Roman");
    HtmlView->SetDefPreFontName("Courier New");
    HtmlView->OnProcessing = [this](THtmlView* Sender, bool ProcessingOn) {
        HtmlViewProcessing(Sender, ProcessingOn);
    };
    HtmlView->OnLinkClick = [this](THtmlView* Sender, const ByteString& SRC, bool& Handled) {
        HtmlViewLinkClick(Sender, SRC, Handled);
    };
    HtmlView->OnFormSubmit = [this](THtmlView* Sender, const ByteString& Action, const ByteString& Target,
                                    const ByteString& EncType, const ByteString& Method,
                                    TStringArray Results) {
        HtmlViewFormSubmit(Sender, Action, Target, EncType, Method, Results);
    };

    FindBar = new TFindBar(HtmlView, PanelLong->Client());
    FindBar->OnShownChanged = [this] { ArrangePanels(); };
    MessageViewKeys(this, HtmlView, FindBar);

    ScrollBar = new QScrollBar(Qt::Vertical, PanelLong->Client());
    ScrollBar->setObjectName("ScrollBar");
    ScrollBar->setSingleStep(5);
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this] { ScrollBarChange(); });

    TimerSB = new TIntervalTimer(this, 1000, true);
    TimerSB->OnTimer = [this](QObject*) { TimerSBTimer(); };

    TrayIcon = new TTrayIcon(this);
    TrayIcon->SetAnimate(true);
    TrayIcon->SetIcons(ImagesTrayRead);

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { FormShortCut(VK_F1); });

    // Loading.
    ArrangePanels();
    KeepWhite(ListView);
    MenuSavePass->setChecked(ReadStoredSetting(*SettingsStore, &TStoredSettings::SavePass));
    MenuDesktopNotify->setChecked(ReadStoredSetting(*SettingsStore, &TStoredSettings::DesktopNotify));
    ArrivalNotifier->Enabled = MenuDesktopNotify->isChecked();
    // The autostart entry itself is the setting: a desktop's own settings may remove it too.
    MenuStartWithDesktop->setChecked(platform::AutostartEnabled());
    // The tray icon goes in from the event loop, where a refusal of the tray host is reported
    // like any other error of an event handler.
    QTimer::singleShot(0, TrayIcon, [tray = TrayIcon] { tray->Loaded(); });

    FormCreate();
}

TMainForm::~TMainForm() {
    if (MainForm == this) MainForm = nullptr;
}

void TMainForm::ArrangePanels() {
    const int top = MenuBar->height() + Margin;
    PanelShort->setGeometry(Margin, top, 153, height() - top - Margin);
    const int longLeft = PanelShort->x() + PanelShort->width() + Margin;
    PanelLong->setGeometry(longLeft, top, width() - longLeft - Margin, height() - PanelShort->y() - Margin);
    PanelShort->Arrange();
    PanelLong->Arrange();

    const QSize shortClient = PanelShort->Client()->size();
    ListView->setGeometry(0, 0, shortClient.width(), shortClient.height());
    const QSize longClient = PanelLong->Client()->size();
    const int findHeight = FindBar->isHidden() ? 0 : FindBar->sizeHint().height();
    const int viewHeight = std::max(0, longClient.height() - findHeight);
    HtmlView->setGeometry(0, 0, std::max(0, longClient.width() - ScrollBarWidth), viewHeight);
    ScrollBar->setGeometry(longClient.width() - ScrollBarWidth, 0, ScrollBarWidth, viewHeight);
    FindBar->setGeometry(0, viewHeight, longClient.width(), findHeight);
}

void TMainForm::UpdateTrayIcons() {
    if (HasUnread() && TrayIcon->Icons() != ImagesTrayUnread) TrayIcon->SetIcons(ImagesTrayUnread);
    if (!HasUnread() && TrayIcon->Icons() != ImagesTrayRead) TrayIcon->SetIcons(ImagesTrayRead);
    if (HasUnread() != TrayIcon->Attention()) TrayIcon->SetAttention(HasUnread());
}

void TMainForm::AddMessage(TNotification* n) {
    if (!n) return;
    ListItems->Add(n, 0);
    ArrivalNotifier->MessageArrived(n);
}

void TMainForm::FormCreate() {
    HtmlViewProcessing(HtmlView, false);
}

void TMainForm::FormActivate() {
    if (Activated) return;
    Activated = true;
    if (!MenuSavePass->isChecked() && ConnectionForm) ConnectionForm->Open();
}

bool TMainForm::FormShortCut(int Key) {
    if (Key != VK_F1 || !ShowHelp) return false;
    ShowHelp("#top");
    return true;
}

void TMainForm::FormClose() {
    if (!ConnectionForm) return;
    TStoredSettings settings;
    settings.User = ConnectionForm->User;
    settings.URL = ConnectionForm->URL;
    settings.Delay = ConnectionForm->Delay;
    settings.Mins = ConnectionForm->Mins;
    // Overwritten with empty text, not removed, when the password is not to be kept.
    settings.Pass = MenuSavePass->isChecked() ? ConnectionForm->Pass : ByteString();
    settings.SavePass = MenuSavePass->isChecked();
    settings.DesktopNotify = MenuDesktopNotify->isChecked();
    WriteStoredSettings(*SettingsStore, settings);
}

void TMainForm::SkinFormMinimize() {
    TrayIcon->MinimizeToTray();
}

void TMainForm::MenuSkinsClick(QAction* Sender) {
    if (!Sender) return;
    ApplySkin(Sender->data().toInt());
    KeepWhite(ListView);
}

void TMainForm::MenuConnectionClick() {
    if (ConnectionForm) ConnectionForm->Open();
}

void TMainForm::MenuSavePassClick() {
    // QAction has already toggled the check mark; nothing is written until the window closes.
}

void TMainForm::MenuDesktopNotifyClick() {
    // Takes effect at once; like "Save Password" it is written when the window closes.
    ArrivalNotifier->Enabled = MenuDesktopNotify->isChecked();
}

void TMainForm::MenuStartWithDesktopClick() {
    // The entry is written or removed at once; the check mark then shows what is there.
    if (MenuStartWithDesktop->isChecked())
        platform::WriteAutostartEntry();
    else
        platform::RemoveAutostartEntry();
    MenuStartWithDesktop->setChecked(platform::AutostartEnabled());
}

void TMainForm::MenuContentsClick() {
    if (ShowHelp) ShowHelp("");
}

void TMainForm::MenuAboutClick() {
    if (ShowAbout) ShowAbout();
}

int TMainForm::ListViewCompare(const TNotification* Item1, const TNotification* Item2) {
    const int32_t first = NotificationIndex(Item1);
    const int32_t second = NotificationIndex(Item2);
    if (first > second) return -1;
    if (first < second) return 1;
    return 0;
}

void TMainForm::PrepareMessage(TNotification* n, TPrepare When) {
    if (!n) return;
    HtmlView->SetBaseAddress(ConnectionForm ? ConnectionForm->URL : ByteString());
    HtmlView->PrepareBuffer(n->Message.data(), static_cast<int64_t>(n->Message.size()), When);
}

void TMainForm::ListViewDblClick() {
    const int row = ListView->currentIndex().isValid() ? ListView->currentIndex().row() : -1;
    TNotification* n = ListItems->Data(row);
    if (!n) return;
    MarkRead(n);
    if (ListItems->ImageIndex(row) == 0) ListItems->SetImageIndex(row, 1);
    PanelLong->SetCaption(Widen(n->Header));
    HtmlView->setAccessibleName(Widen(n->Header).trimmed());
    displayed_ = n;
    HtmlView->SetTag(reinterpret_cast<intptr_t>(n));
    HtmlView->SetBaseAddress(ConnectionForm ? ConnectionForm->URL : ByteString());
    HtmlView->LoadBuffer(n->Message.data(), static_cast<int64_t>(n->Message.size()), "");
    UpdateTrayIcons();
}

void TMainForm::OpenMessage(TNotification* n) {
    if (!n) return;
    BringForward();
    const int row = ListItems->RowOf(n);
    if (row < 0) return;
    ListView->setCurrentIndex(ListItems->index(row));
    ListViewDblClick();
}

void TMainForm::BringForward() {
    // Minimised means in the tray: the tray icon brings back every window it put away.
    if (TrayIcon->Area().ApplicationMinimized() || TrayIcon->Area().TaskbarEntryHidden()) {
        TrayIcon->RestoreFromTray();
        return;
    }
    BringWindowForward(this);
}

void TMainForm::TimerSBTimer() {
    if (HtmlView->VerticalPosition() != ScrollBar->value()) ScrollBar->setValue(HtmlView->VerticalPosition());
}

void TMainForm::ScrollBarChange() {
    HtmlView->SetVerticalPosition(ScrollBar->value());
}

void TMainForm::HtmlViewProcessing(THtmlView*, bool) {
    const int clientHeight = HtmlView->viewport()->height();
    ScrollBar->setPageStep(std::max(1, clientHeight));
    ScrollBar->setRange(0, std::max(0, HtmlView->VerticalRange()));
}

void TMainForm::HtmlViewLinkClick(THtmlView*, const ByteString& SRC, bool& Handled) {
    if (SRC.empty() || SRC[0] == '#') return;
    Handled = true;
    // A relative link in a message means a place on the script's site.
    OpenInBrowser(ResolveAddress(ConnectionForm ? ConnectionForm->URL : ByteString(), SRC), true);
}

void TMainForm::HtmlViewFormSubmit(THtmlView*, const ByteString& Action, const ByteString&, const ByteString&,
                                   const ByteString&, const TStringArray& Results) {
    // Every reply is a form-encoded POST, whatever the form's method, target or encoding say.
    ByteString data;
    for (size_t i = 0; i < Results.size(); ++i) {
        const ByteString& line = Results[i];
        const size_t eq = line.find('=');
        const ByteString value = eq == ByteString::npos ? ByteString() : line.substr(eq + 1);
        if (i > 0) data += "&";
        data += FormEncode(line.substr(0, eq)) + "=" + FormEncode(value);
    }
    if (HTTPForm) HTTPForm->SubmitForm(Action, data);
    if (!displayed_) return;
    for (int row = 0; row < ListItems->Count(); ++row)
        if (ListItems->Data(row) == displayed_) ListItems->SetImageIndex(row, 2);
}

bool TMainForm::event(QEvent* e) {
    const bool result = QWidget::event(e);
    if (e->type() == QEvent::WindowActivate) {
        ArrivalNotifier->WindowActivated();
        FormActivate();
    }
    return result;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ListView->viewport() && e->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        const bool result = QWidget::eventFilter(watched, e);
        // Let the view move the focus mark first, as a double-click on an entry does.
        QTimer::singleShot(0, this, [this] { ListViewDblClick(); });
        return result;
    }
    return QWidget::eventFilter(watched, e);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
    QCoreApplication::quit();
}

void BringMainFormForward() {
    if (MainForm) MainForm->BringForward();
}
