#include "shell/WindowKeys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

bool IsEnter(const QKeyEvent* Key) {
    return (Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) &&
           !(Key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
}

class TOpenEntryFilter : public QObject {
public:
    TOpenEntryFilter(QAbstractItemView* List, std::function<void()> Open)
        : QObject(List), FList(List), FOpen(std::move(Open)) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Watched != FList || Event->type() != QEvent::KeyPress) return false;
        if (!IsEnter(static_cast<QKeyEvent*>(Event)) || !FList->currentIndex().isValid()) return false;
        QTimer::singleShot(0, this, [this] { FOpen(); });
        return true;
    }

private:
    QAbstractItemView* FList;
    std::function<void()> FOpen;
};

// Keys a control leaves alone travel up to its window, where this filter sees them.
class TDialogKeysFilter : public QObject {
public:
    TDialogKeysFilter(QWidget* Window, QAbstractButton* Button)
        : QObject(Window), FWindow(Window), FButton(Button) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Watched != FWindow || Event->type() != QEvent::KeyPress) return false;
        const auto* Key = static_cast<QKeyEvent*>(Event);
        if (Key->key() == Qt::Key_Escape && Key->modifiers() == Qt::NoModifier) {
            FWindow->close();
            return true;
        }
        if (IsEnter(Key) && FButton && FButton->isEnabled() && FButton->isVisible()) {
            FButton->click();
            return true;
        }
        return false;
    }

private:
    QWidget* FWindow;
    QPointer<QAbstractButton> FButton;
};

}  // namespace

void OpenEntryOnEnter(QAbstractItemView* List, std::function<void()> Open) {
    List->installEventFilter(new TOpenEntryFilter(List, std::move(Open)));
}

void DialogKeys(QWidget* Window, QAbstractButton* DefaultButton) {
    Window->installEventFilter(new TDialogKeysFilter(Window, DefaultButton));
}
