#include "htmlview/HtmlView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "htmlview/HtmlAccessible.h"
#include "htmlview/HtmlViewPrivate.h"
#include "htmlview/ZoomSteps.h"

namespace {

// How far one drag has to go before it selects text instead of clicking.
constexpr int kDragThreshold = 3;

}  // namespace

THtmlView::THtmlView(QWidget* parent)
    : QAbstractScrollArea(parent), d_(std::make_unique<THtmlViewPrivate>(this)) {
    THtmlAccessibleDocument::Install();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    SetBorderStyle(TBorderStyle::bsFocused);
    SetScrollBars(TScrollStyle::ssBoth);
    // A form control reached with the keyboard is scrolled into view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || now == viewport() || !viewport()->isAncestorOf(now)) return;
        QWidget* control = now;
        while (control->parentWidget() != viewport()) control = control->parentWidget();
        const QRect place = control->geometry();
        int target = d_->vpos;
        if (place.top() < 0)
            target += place.top();
        else if (place.bottom() >= viewport()->height())
            target += std::min(place.top(), place.bottom() - viewport()->height() + 1);
        d_->ScrollTo(target, d_->hpos);
    });
}

THtmlView::~THtmlView() = default;

void THtmlView::LoadLines(const TStringArray& Lines, const ByteString& BaseRef) {
    if (d_->processing) return;
    ByteString text;
    for (const ByteString& line : Lines) {
        text += line;
        text += "\r\n";
    }
    d_->Load(std::move(text), BaseRef);
    THtmlAccessibleDocument::DocumentChanged(this);
}

void THtmlView::LoadBuffer(const char* Buffer, int64_t Length, const ByteString& BaseRef) {
    if (d_->processing) return;
    std::string bytes;
    if (Buffer && Length > 0) bytes.assign(Buffer, static_cast<size_t>(Length));
    d_->Load(std::move(bytes), BaseRef);
    THtmlAccessibleDocument::DocumentChanged(this);
}

void THtmlView::PrepareBuffer(const char* Buffer, int64_t Length, TPrepare When) {
    if (!Buffer || Length <= 0) return;
    d_->Prepare(std::string(Buffer, static_cast<size_t>(Length)), When);
}

bool THtmlView::IsPrepared(const char* Buffer, int64_t Length) const {
    if (!Buffer || Length <= 0) return false;
    return d_->IsPrepared(std::string(Buffer, static_cast<size_t>(Length)));
}

bool THtmlView::GoToAnchor(const ByteString& Name) {
    return d_->GoToAnchor(Name);
}
int THtmlView::VerticalPosition() const {
    return d_->vpos;
}
void THtmlView::SetVerticalPosition(int Position) {
    d_->ScrollTo(Position, d_->hpos);
}
int THtmlView::VerticalRange() const {
    return d_->DocumentHeight() - d_->ViewHeight();
}
int THtmlView::HorizontalPosition() const {
    return d_->hpos;
}
bool THtmlView::Processing() const {
    return d_->processing;
}
void THtmlView::SetBaseAddress(const ByteString& Address) {
    d_->baseAddress = Address;
}
ByteString THtmlView::BaseAddress() const {
    return d_->baseAddress;
}
void THtmlView::SetFetchResources(bool Value) {
    d_->fetcher.SetEnabled(Value);
}
bool THtmlView::FetchResources() const {
    return d_->fetcher.Enabled();
}
QString THtmlView::SelectedText() const {
    return d_->selection.Text();
}

QColor THtmlView::DefBackground() const {
    return d_->defBackground;
}
void THtmlView::SetDefBackground(const QColor& Color) {
    d_->defBackground = Color;
    viewport()->update();
}
TBorderStyle THtmlView::BorderStyle() const {
    return d_->borderStyle;
}
void THtmlView::SetBorderStyle(TBorderStyle Style) {
    d_->borderStyle = Style;
    switch (Style) {
        case TBorderStyle::bsNone: setFrameStyle(QFrame::NoFrame); break;
        case TBorderStyle::bsSingle:
            setFrameStyle(QFrame::Box | QFrame::Plain);
            setLineWidth(1);
            break;
        case TBorderStyle::bsFocused:
            setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            setLineWidth(1);
            break;
    }
}
TScrollStyle THtmlView::ScrollBars() const {
    return d_->scrollBars;
}
void THtmlView::SetScrollBars(TScrollStyle Style) {
    d_->scrollBars = Style;
    const bool vertical = Style == TScrollStyle::ssVertical || Style == TScrollStyle::ssBoth;
    const bool horizontal = Style == TScrollStyle::ssHorizontal || Style == TScrollStyle::ssBoth;
    setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}
int THtmlView::HistoryMaxCount() const {
    return d_->historyMaxCount;
}
void THtmlView::SetHistoryMaxCount(int Count) {
    d_->historyMaxCount = std::max(0, Count);
}
QString THtmlView::DefFontName() const {
    return d_->defFontName;
}
void THtmlView::SetDefFontName(const QString& Name) {
    d_->defFontName = Name;
    d_->StyleChanged();
}
QString THtmlView::DefPreFontName() const {
    return d_->defPreFontName;
}
void THtmlView::SetDefPreFontName(const QString& Name) {
    d_->defPreFontName = Name;
    d_->StyleChanged();
}
bool THtmlView::NoSelect() const {
    return d_->noSelect;
}
void THtmlView::SetNoSelect(bool Value) {
    d_->noSelect = Value;
    if (Value) {
        d_->selection.Clear();
        viewport()->update();
    }
}
int THtmlView::CharSet() const {
    return d_->charSet;
}
void THtmlView::SetCharSet(int Value) {
    d_->charSet = Value;
}
int THtmlView::MarginHeight() const {
    return d_->marginHeight;
}
void THtmlView::SetMarginHeight(int Value) {
    d_->marginHeight = Value;
}
int THtmlView::MarginWidth() const {
    return d_->marginWidth;
}
void THtmlView::SetMarginWidth(int Value) {
    d_->marginWidth = Value;
}
int THtmlView::DefFontSize() const {
    return d_->defFontSize;
}
void THtmlView::SetDefFontSize(int Value) {
    d_->defFontSize = Value;
}
QColor THtmlView::DefFontColor() const {
    return d_->defFontColor;
}
void THtmlView::SetDefFontColor(const QColor& Color) {
    d_->defFontColor = Color;
    d_->StyleChanged();
}
QColor THtmlView::DefLinkColor() const {
    return d_->defLinkColor;
}
void THtmlView::SetDefLinkColor(const QColor& Color) {
    d_->defLinkColor = Color;
    d_->StyleChanged();
}
QColor THtmlView::DefOverLinkColor() const {
    return d_->defOverLinkColor;
}
void THtmlView::SetDefOverLinkColor(const QColor& Color) {
    d_->defOverLinkColor = Color;
    d_->StyleChanged();
}
QColor THtmlView::DefVisitedLinkColor() const {
    return d_->defVisitedLinkColor;
}
void THtmlView::SetDefVisitedLinkColor(const QColor& Color) {
    d_->defVisitedLinkColor = Color;
    d_->StyleChanged();
}
int THtmlView::VisitedMaxCount() const {
    return d_->visitedMaxCount;
}
void THtmlView::SetVisitedMaxCount(int Count) {
    d_->visitedMaxCount = std::max(0, Count);
}
bool THtmlView::ViewImages() const {
    return d_->viewImages;
}
void THtmlView::SetViewImages(bool Value) {
    d_->viewImages = Value;
}
int THtmlView::ImageCacheCount() const {
    return d_->imageCacheCount;
}
void THtmlView::SetImageCacheCount(int Count) {
    d_->imageCacheCount = std::max(0, Count);
}
TViewOptions THtmlView::ViewOptions() const {
    return d_->viewOptions;
}
void THtmlView::SetViewOptions(TViewOptions Options) {
    d_->viewOptions = Options;
    d_->StyleChanged();
}
intptr_t THtmlView::Tag() const {
    return d_->tag;
}
void THtmlView::SetTag(intptr_t Value) {
    d_->tag = Value;
}

void THtmlView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    d_->Paint(painter, event->rect());
}

void THtmlView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    d_->Relayout(true);
}

void THtmlView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return;
    const QPoint point = event->position().toPoint();
    d_->pressed = true;
    d_->dragged = false;
    d_->pressPoint = point;
    d_->pressLink = d_->LinkAt(point, false);
    const bool hadSelection = !d_->selection.Empty();
    d_->selection.Clear();
    if (hadSelection) viewport()->update();
}

void THtmlView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (d_->pressed && (event->buttons() & Qt::LeftButton)) {
        if (!d_->dragged && (point - d_->pressPoint).manhattanLength() >= kDragThreshold) {
            d_->dragged = true;
            if (!d_->noSelect) d_->selection.Begin(d_->ToDocument(d_->pressPoint));
        }
        if (d_->dragged && !d_->noSelect) {
            d_->selection.Extend(d_->ToDocument(point));
            // Dragging past an edge scrolls the document.
            if (point.y() < 0) d_->ScrollTo(d_->vpos + point.y(), d_->hpos);
            if (point.y() > viewport()->height())
                d_->ScrollTo(d_->vpos + point.y() - viewport()->height(), d_->hpos);
            viewport()->update();
        }
        return;
    }
    d_->MouseOver(point);
}

void THtmlView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !d_->pressed) return;
    d_->pressed = false;
    const QPoint point = event->position().toPoint();
    if (!d_->selection.Empty()) {
        if (QClipboard* clipboard = QApplication::clipboard(); clipboard && clipboard->supportsSelection())
            clipboard->setText(d_->selection.Text(), QClipboard::Selection);
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) return;
    const ByteString link = d_->LinkAt(point, false);
    if (link.empty() || link != d_->pressLink) return;
    d_->ClickLink(d_->LinkAt(point, true));
}

void THtmlView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || d_->noSelect) return;
    d_->pressed = true;
    d_->dragged = true;
    d_->selection.SelectWord(d_->ToDocument(event->position().toPoint()));
    viewport()->update();
}

void THtmlView::leaveEvent(QEvent* event) {
    d_->MouseLeave();
    QAbstractScrollArea::leaveEvent(event);
}

void THtmlView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A focused link is followed as a click follows it; a focused button of a form (whose
        // own Return comes up here) is pressed.
        if (const ByteString target = d_->keyboard.FocusedTarget(); !target.empty()) {
            d_->ClickLink(target);
            event->accept();
            return;
        }
        auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        if (button && viewport()->isAncestorOf(button)) {
            button->click();
            event->accept();
            return;
        }
    }
    if (event->matches(QKeySequence::Copy)) {
        if (!d_->selection.Empty()) QApplication::clipboard()->setText(d_->selection.Text());
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        if (!d_->noSelect) {
            d_->selection.SelectAll();
            viewport()->update();
        }
        return;
    }
    const int v = d_->vpos, h = d_->hpos;
    const bool wide = d_->DocumentWidth() > d_->ViewWidth();
    switch (event->key()) {
        case Qt::Key_Up: d_->ScrollTo(v - 16, h); break;
        case Qt::Key_Down: d_->ScrollTo(v + 16, h); break;
        case Qt::Key_PageUp: d_->ScrollTo(v - (d_->ViewHeight() - 16), h); break;
        case Qt::Key_PageDown: d_->ScrollTo(v + (d_->ViewHeight() - 16), h); break;
        case Qt::Key_Home: d_->ScrollTo(0, h); break;
        case Qt::Key_End: d_->ScrollTo(d_->MaxVertical(), h); break;
        case Qt::Key_Left:
            if (wide) d_->ScrollTo(v, h - 15);
            break;
        case Qt::Key_Right:
            if (wide) d_->ScrollTo(v, h + 15);
            break;
        default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void THtmlView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        // One zoom step per notch of 120; finer wheels add up to a notch.
        d_->zoomWheelRemainder = std::clamp(d_->zoomWheelRemainder + delta, -1200, 1200);
        const int steps = d_->zoomWheelRemainder / 120;
        d_->zoomWheelRemainder -= steps * 120;
        if (steps != 0) SetZoom(ZoomStep(Zoom(), steps));
        event->accept();
        return;
    }
    const int lines = QApplication::wheelScrollLines();
    int step;
    if (lines > 0) {
        // 16 pixels per line for each notch of 120; finer wheels add up to the same.
        d_->wheelRemainder = std::clamp(d_->wheelRemainder + 16.0 * lines * delta / 120.0, -1e7, 1e7);
        step = static_cast<int>(d_->wheelRemainder);
        d_->wheelRemainder -= step;
    } else {
        step = delta / 2;
    }
    d_->ScrollTo(d_->vpos - step, d_->hpos);
    event->accept();
}

void THtmlView::scrollContentsBy(int, int) {
    // The view's own scroll bars were moved.
    d_->ScrollTo(verticalScrollBar()->value(), horizontalScrollBar()->value());
}

ByteString THtmlView::FocusedLink() const {
    return d_->keyboard.FocusedTarget();
}

int THtmlView::FindText(const QString& Text) {
    const int count = d_->find.Search(Text, d_->ToDocument(QPoint(0, 0)).y());
    d_->RevealFound();
    viewport()->update();
    emit FoundChanged();
    return count;
}

int THtmlView::FindNext(bool Forward) {
    const int current = d_->find.Step(Forward);
    d_->RevealFound();
    viewport()->update();
    emit FoundChanged();
    return current;
}

int THtmlView::FoundCount() const {
    return d_->find.Count();
}

int THtmlView::FoundCurrent() const {
    return d_->find.Current();
}

QString THtmlView::FoundText(int Index) const {
    return d_->find.MatchText(Index);
}

QRect THtmlView::FoundRect(int Index) const {
    const std::vector<QRect> boxes = d_->find.Boxes(Index);
    return boxes.empty() ? QRect() : d_->ToView(boxes.front());
}

double THtmlView::Zoom() const {
    return d_->zoom;
}

void THtmlView::SetZoom(double Zoom) {
    d_->SetZoom(Zoom);
}

bool THtmlView::focusNextPrevChild(bool next) {
    if (d_->keyboard.Move(next)) return true;
    // Past the document's last (or first) stop: on to the window's next widget outside the view.
    QWidget* widget = this;
    do {
        widget = next ? widget->nextInFocusChain() : widget->previousInFocusChain();
    } while (widget != this &&
             (isAncestorOf(widget) || !(widget->focusPolicy() & Qt::TabFocus) || !widget->isVisible() ||
              !widget->isEnabled() || widget->window() != window()));
    if (widget == this) return QAbstractScrollArea::focusNextPrevChild(next);
    widget->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void THtmlView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    // Coming in with Tab lands on the document's first stop (Shift+Tab: its last), if any.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
        if (d_->keyboard.FocusedTarget().empty()) d_->keyboard.Move(event->reason() == Qt::TabFocusReason);
    }
    viewport()->update();
}

void THtmlView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void THtmlView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) viewport()->update();
    QAbstractScrollArea::changeEvent(event);
}
