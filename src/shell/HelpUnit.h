#pragma once

#include <QWidget>

#include "exchange/UtilsUnit.h"

class QScrollBar;
class THtmlView;
class TIntervalTimer;

// The Help window: the built-in help document in an HTML view of its own, with a scroll bar
// beside it that follows the view.
//
// Created once at start-up, after MainForm and before ConnectionForm, with `new THelpForm()`:
// a top-level window without parent, hidden until opened. The constructor sets the global
// `HelpForm` and gives MainForm its ShowHelp; the destructor clears both. Closing and
// minimising only hide it; it keeps its document and its place.
class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);
    ~THelpForm() override;

    THtmlView* HtmlView;
    QScrollBar* ScrollBar;
    TIntervalTimer* Timer;  // scroll follower, 10 ms; runs only while the window is visible
    TStringArray Aux1;      // the help document's lines

    // Makes the window visible, raised and active; a non-empty Anchor ("#top", "#option")
    // scrolls the help there, an empty one leaves it where it was.
    void Open(const ByteString& Anchor);

    void FormCreate();
    void FormActivate();
    void SkinFormMinimize();
    void ScrollBarChange();
    void TimerTimer();
    void HtmlViewProcessing(THtmlView* Sender, bool ProcessingOn);
    void HtmlViewLinkClick(THtmlView* Sender, const ByteString& SRC, bool& Handled);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void ArrangeControls();
};

extern THelpForm* HelpForm;
