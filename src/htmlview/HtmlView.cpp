#include "htmlview/HtmlView.h"

#include <QScrollBar>

class THtmlViewPrivate {
public:
    QColor defBackground = SystemColor(TSystemColor::clBtnFace);
    TBorderStyle borderStyle = TBorderStyle::bsFocused;
    TScrollStyle scrollBars = TScrollStyle::ssBoth;
    int historyMaxCount = 0;
    QString defFontName = QStringLiteral("Times New Roman");
    QString defPreFontName = QStringLiteral("Courier New");
    bool noSelect = false;
    int charSet = DEFAULT_CHARSET;
    int marginHeight = 5;
    int marginWidth = 10;
    int defFontSize = 12;
    QColor defFontColor = SystemColor(TSystemColor::clBtnText);
    QColor defLinkColor = QColor(0, 0, 255);
    QColor defOverLinkColor = QColor(0, 0, 255);
    QColor defVisitedLinkColor = QColor(128, 0, 128);
    int visitedMaxCount = 50;
    bool viewImages = true;
    int imageCacheCount = 5;
    TViewOptions viewOptions = voPrintTableBackground | voPrintMonochromeBlack;
    intptr_t tag = 0;
    ByteString baseAddress;
    bool processing = false;
    int position = 0;
};

THtmlView::THtmlView(QWidget* parent)
    : QAbstractScrollArea(parent), d_(std::make_unique<THtmlViewPrivate>()) {}
THtmlView::~THtmlView() = default;

void THtmlView::LoadLines(const TStringArray& Lines, const ByteString& BaseRef) {
    ByteString text;
    for (const ByteString& line : Lines) text += line + "\r\n";
    LoadBuffer(text.data(), static_cast<int64_t>(text.size()), BaseRef);
}

void THtmlView::LoadBuffer(const char*, int64_t, const ByteString&) {
    if (d_->processing) return;
    d_->processing = true;
    if (OnProcessing) OnProcessing(this, true);
    d_->position = 0;
    d_->processing = false;
    if (OnProcessing) OnProcessing(this, false);
}

bool THtmlView::GoToAnchor(const ByteString&) {
    return false;
}
int THtmlView::VerticalPosition() const {
    return d_->position;
}
void THtmlView::SetVerticalPosition(int) {}
int THtmlView::VerticalRange() const {
    return -viewport()->height();
}
int THtmlView::HorizontalPosition() const {
    return 0;
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
QString THtmlView::SelectedText() const {
    return {};
}

QColor THtmlView::DefBackground() const {
    return d_->defBackground;
}
void THtmlView::SetDefBackground(const QColor& Color) {
    d_->defBackground = Color;
}
TBorderStyle THtmlView::BorderStyle() const {
    return d_->borderStyle;
}
void THtmlView::SetBorderStyle(TBorderStyle Style) {
    d_->borderStyle = Style;
}
TScrollStyle THtmlView::ScrollBars() const {
    return d_->scrollBars;
}
void THtmlView::SetScrollBars(TScrollStyle Style) {
    d_->scrollBars = Style;
}
int THtmlView::HistoryMaxCount() const {
    return d_->historyMaxCount;
}
void THtmlView::SetHistoryMaxCount(int Count) {
    d_->historyMaxCount = Count;
}
QString THtmlView::DefFontName() const {
    return d_->defFontName;
}
void THtmlView::SetDefFontName(const QString& Name) {
    d_->defFontName = Name;
}
QString THtmlView::DefPreFontName() const {
    return d_->defPreFontName;
}
void THtmlView::SetDefPreFontName(const QString& Name) {
    d_->defPreFontName = Name;
}
bool THtmlView::NoSelect() const {
    return d_->noSelect;
}
void THtmlView::SetNoSelect(bool Value) {
    d_->noSelect = Value;
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
}
QColor THtmlView::DefLinkColor() const {
    return d_->defLinkColor;
}
void THtmlView::SetDefLinkColor(const QColor& Color) {
    d_->defLinkColor = Color;
}
QColor THtmlView::DefOverLinkColor() const {
    return d_->defOverLinkColor;
}
void THtmlView::SetDefOverLinkColor(const QColor& Color) {
    d_->defOverLinkColor = Color;
}
QColor THtmlView::DefVisitedLinkColor() const {
    return d_->defVisitedLinkColor;
}
void THtmlView::SetDefVisitedLinkColor(const QColor& Color) {
    d_->defVisitedLinkColor = Color;
}
int THtmlView::VisitedMaxCount() const {
    return d_->visitedMaxCount;
}
void THtmlView::SetVisitedMaxCount(int Count) {
    d_->visitedMaxCount = Count;
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
    d_->imageCacheCount = Count;
}
TViewOptions THtmlView::ViewOptions() const {
    return d_->viewOptions;
}
void THtmlView::SetViewOptions(TViewOptions Options) {
    d_->viewOptions = Options;
}
intptr_t THtmlView::Tag() const {
    return d_->tag;
}
void THtmlView::SetTag(intptr_t Value) {
    d_->tag = Value;
}

void THtmlView::paintEvent(QPaintEvent*) {}
void THtmlView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
}
void THtmlView::mousePressEvent(QMouseEvent* event) {
    QAbstractScrollArea::mousePressEvent(event);
}
void THtmlView::mouseMoveEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseMoveEvent(event);
}
void THtmlView::mouseReleaseEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseReleaseEvent(event);
}
void THtmlView::mouseDoubleClickEvent(QMouseEvent* event) {
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}
void THtmlView::leaveEvent(QEvent* event) {
    QAbstractScrollArea::leaveEvent(event);
}
void THtmlView::keyPressEvent(QKeyEvent* event) {
    QAbstractScrollArea::keyPressEvent(event);
}
void THtmlView::wheelEvent(QWheelEvent* event) {
    QAbstractScrollArea::wheelEvent(event);
}
void THtmlView::scrollContentsBy(int, int) {}
bool THtmlView::focusNextPrevChild(bool next) {
    return QAbstractScrollArea::focusNextPrevChild(next);
}
void THtmlView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
}
