#pragma once

#include <QFrame>
#include <functional>

class QLabel;
class QLineEdit;
class QToolButton;
class THtmlView;

// The bar under the message that finds text in it: the text to find, the previous and next
// buttons, how many places were found and which is shown, and a button that closes the bar.
// Typing finds at once; Return (F3 in the window) goes to the next place, Shift+Return (Shift+F3)
// to the previous one, Escape closes the bar and gives the view the focus back. A message opened
// while the bar is open is searched for the same text.
class TFindBar : public QFrame {
    Q_OBJECT
public:
    TFindBar(THtmlView* view, QWidget* parent);

    QLineEdit* EditFind;
    QToolButton* ButtonPrevious;
    QToolButton* ButtonNext;
    QLabel* LabelCount;
    QToolButton* ButtonClose;

    // Shows the bar with the focus in its text, all of it selected, and finds it again.
    void Open();
    // Hides the bar, removes the marks from the message and gives the view the focus.
    void Close();
    // The next (or previous) place; opens the bar first when it is closed.
    void Step(bool forward);

    // The bar was shown or hidden: the owner makes room for it.
    std::function<void()> OnShownChanged;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Find();
    void ShowCount();

    THtmlView* view_;
};
