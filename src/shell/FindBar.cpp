#include "shell/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include "htmlview/HtmlView.h"

namespace {

// Nothing found: the text field turns a light red, its text stays black (contrast about 11:1).
const char* const kNotFoundSheet = "QLineEdit { background-color: #ffd2d2; color: #000000; }";

QToolButton* Button(QWidget* parent, QStyle::StandardPixmap icon, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}  // namespace

TFindBar::TFindBar(THtmlView* view, QWidget* parent) : QFrame(parent), view_(view) {
    setObjectName("FindBar");
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    EditFind = new QLineEdit(this);
    EditFind->setObjectName("EditFind");
    EditFind->setPlaceholderText(tr("Find in message"));
    EditFind->setAccessibleName(tr("Find in message"));
    EditFind->setClearButtonEnabled(true);
    EditFind->installEventFilter(this);
    ButtonPrevious = Button(this, QStyle::SP_ArrowUp, tr("Previous match"));
    ButtonNext = Button(this, QStyle::SP_ArrowDown, tr("Next match"));
    LabelCount = new QLabel(this);
    LabelCount->setObjectName("LabelCount");
    LabelCount->setMinimumWidth(
        LabelCount->fontMetrics().horizontalAdvance(tr("%1 of %2").arg(888).arg(888)));
    ButtonClose = Button(this, QStyle::SP_TitleBarCloseButton, tr("Close"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 3, 4, 3);
    layout->setSpacing(3);
    layout->addWidget(EditFind, 1);
    layout->addWidget(ButtonPrevious);
    layout->addWidget(ButtonNext);
    layout->addWidget(LabelCount);
    layout->addWidget(ButtonClose);
    connect(EditFind, &QLineEdit::textChanged, this, [this] { Find(); });
    connect(ButtonPrevious, &QToolButton::clicked, this, [this] { Step(false); });
    connect(ButtonNext, &QToolButton::clicked, this, [this] { Step(true); });
    connect(ButtonClose, &QToolButton::clicked, this, [this] { Close(); });
    connect(view_, &THtmlView::FoundChanged, this, [this] { ShowCount(); });
    hide();
}

void TFindBar::Open() {
    const bool wasHidden = isHidden();
    show();
    if (wasHidden && OnShownChanged) OnShownChanged();
    EditFind->setFocus(Qt::ShortcutFocusReason);
    EditFind->selectAll();
    Find();
}

void TFindBar::Close() {
    if (isHidden()) return;
    view_->FindText(QString());
    hide();
    if (OnShownChanged) OnShownChanged();
    view_->setFocus(Qt::OtherFocusReason);
}

void TFindBar::Step(bool forward) {
    if (isHidden()) {
        Open();
        if (view_->FoundCount() > 0) return;
    }
    view_->FindNext(forward);
}

void TFindBar::Find() {
    view_->FindText(EditFind->text());
    ShowCount();
}

void TFindBar::ShowCount() {
    if (isHidden()) return;
    const int count = view_->FoundCount();
    const bool missing = count == 0 && !EditFind->text().isEmpty();
    if (EditFind->text().isEmpty())
        LabelCount->clear();
    else if (missing)
        LabelCount->setText(tr("No matches"));
    else
        LabelCount->setText(tr("%1 of %2").arg(view_->FoundCurrent() + 1).arg(count));
    EditFind->setStyleSheet(missing ? QString::fromLatin1(kNotFoundSheet) : QString());
    ButtonPrevious->setEnabled(count > 1);
    ButtonNext->setEnabled(count > 1);
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != EditFind || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
        Step(modifiers == Qt::NoModifier);
        return true;
    }
    if (key->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        Close();
        return true;
    }
    return false;
}
