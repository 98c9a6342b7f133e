#pragma once

#include <QFrame>
#include <QWidget>
#include <functional>

#include "exchange/UtilsUnit.h"

class QAction;
class QLabel;
class QListView;
class QMenu;
class QMenuBar;
class QScrollBar;
class THtmlView;
enum class TPrepare;
class TImageList;
class TIntervalTimer;
class TMessageBox;
class TMessageListModel;
class TNotification;
class TSettingsStore;
class TTrayIcon;
class TArrivalNotifier;
class TFindBar;

// A panel with a caption strip along its top edge.
class THeaderPanel : public QFrame {
    Q_OBJECT
public:
    explicit THeaderPanel(const QString& caption, QWidget* parent = nullptr);
    QString Caption() const;
    void SetCaption(const QString& caption);
    QWidget* Client() const { return client_; }  // the area below the caption strip
    // Places the caption strip and the client area within the panel's present size.
    void Arrange();
    static constexpr int CaptionHeight = 20;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    QLabel* caption_;
    QWidget* client_;
};

// The main window: message list, message view, menus, and the components the rest of the
// program reaches through it (settings store, tray icon, message box, image lists).
//
// Created first of the program's windows with `new TMainForm()` (no parent) and shown with
// `show()`; the constructor sets the global `MainForm`, the destructor clears it. Closing it
// saves the settings (it needs ConnectionForm then) and, as the last window, ends the program.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    QMenuBar* MenuBar;
    QMenu* MenuSkins;  // hidden from the user
    QAction* MenuSkin1;
    QAction* MenuSkin2;
    QMenu* MenuOptions;
    QAction* MenuConnection;
    QAction* MenuSavePass;
    // Desktop integration: desktop notifications and the XDG autostart entry.
    QAction* MenuDesktopNotify;     // check item "Desktop Notifications", stored as Caching/DesktopNotify
    QAction* MenuStartWithDesktop;  // check item "Start with Desktop": the autostart entry exists
    QMenu* MenuHelp;
    QAction* MenuContents;
    QAction* MenuAbout;

    THeaderPanel* PanelShort;
    THeaderPanel* PanelLong;
    QListView* ListView;
    TMessageListModel* ListItems;  // the entries of ListView
    THtmlView* HtmlView;
    TFindBar* FindBar;  // under HtmlView while open (Ctrl+F)
    QScrollBar* ScrollBar;
    TIntervalTimer* TimerSB;

    TSettingsStore* SettingsStore;
    TTrayIcon* TrayIcon;
    TImageList* ImagesTrayRead;
    TImageList* ImagesTrayUnread;
    TImageList* ImagesList;
    TMessageBox* MsgBox;
    TArrivalNotifier* ArrivalNotifier;  // desktop notifications of arriving messages

    bool Activated = false;

    // Show the Help window (scrolled to an anchor, or where it was for an empty one) and the
    // About window; set by those windows when they exist.
    std::function<void(const ByteString& Anchor)> ShowHelp;
    std::function<void()> ShowAbout;

    void ArrangePanels();
    void UpdateTrayIcons();
    // Adds an entry for a stored notification at its place in the list (image 0).
    void AddMessage(TNotification* n);
    // Has the view build the message's document ahead of opening it, with the base address
    // that opening it uses.
    void PrepareMessage(TNotification* n, TPrepare When);

    void FormCreate();
    void FormActivate();
    bool FormShortCut(int Key);  // true: handled
    void FormClose();
    // Minimises the whole program (to the tray where there is one). The window manager's own
    // minimise button reaches the tray icon directly.
    void SkinFormMinimize();
    void MenuSkinsClick(QAction* Sender);
    void MenuConnectionClick();
    void MenuSavePassClick();
    void MenuDesktopNotifyClick();
    void MenuStartWithDesktopClick();
    void MenuContentsClick();
    void MenuAboutClick();
    static int ListViewCompare(const TNotification* Item1, const TNotification* Item2);
    void ListViewDblClick();
    // Opens a message as a double-click on its entry does, with the window brought forward (out
    // of the tray, when it is there); what a click on a desktop notification asks for.
    void OpenMessage(TNotification* n);
    // The window comes back from the tray or from being minimised, or else to the front.
    void BringForward();
    void TimerSBTimer();
    void ScrollBarChange();
    void HtmlViewProcessing(THtmlView* Sender, bool ProcessingOn);
    void HtmlViewLinkClick(THtmlView* Sender, const ByteString& SRC, bool& Handled);
    // A form of the document was submitted: its data go to HTTPForm->SubmitForm, and the
    // entries of the notification on display are marked as replied to (image 2) at once.
    void HtmlViewFormSubmit(THtmlView* Sender, const ByteString& Action, const ByteString& Target,
                            const ByteString& EncType, const ByteString& Method, const TStringArray& Results);

    // The notification on display in HtmlView (its Tag); null until one is opened.
    TNotification* DisplayedNotification() const { return displayed_; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    TNotification* displayed_ = nullptr;
};

extern TMainForm* MainForm;

// What a later start of the program asks of the first instance: MainForm->BringForward().
void BringMainFormForward();
