#include "htmlview/HtmlViewPrivate.h"

#include <malloc.h>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "base/WideText.h"
#include "htmlview/CharsetDetect.h"
#include "htmlview/DefaultStyle.h"
#include "htmlview/HtmlPainter.h"
#include "htmlview/RightToLeft.h"
#include "htmlview/ZoomSteps.h"

THtmlViewPrivate::THtmlViewPrivate(THtmlView* view)
    : defBackground(SystemColor(TSystemColor::clBtnFace)),
      defFontColor(SystemColor(TSystemColor::clBtnText)),
      q(view),
      pictures(&fetcher),
      forms(view->viewport(), &pictures),
      container(fonts, pictures, forms, selection, fetcher) {
    relayoutTimer_.setSingleShot(true);
    relayoutTimer_.setInterval(0);
    rebuildTimer_.setSingleShot(true);
    rebuildTimer_.setInterval(0);
    // Messages are prepared when nothing else has happened for a moment.
    prepareTimer_.setSingleShot(true);
    QObject::connect(&prepareTimer_, &QTimer::timeout, view, [this] { PrepareNext(); });
    QObject::connect(&relayoutTimer_, &QTimer::timeout, view, [this] { Relayout(false); });
    QObject::connect(&rebuildTimer_, &QTimer::timeout, view, [this] {
        if (processing || !document_) return;
        BeginProcessing();
        const int top = vpos;
        try {
            Build();
            Layout();
        } catch (const std::exception&) {
            Discard();
        }
        ScrollTo(top, hpos);
        q->viewport()->update();
        EndProcessing();
    });
    pictures.OnArrived = [this](const QString& key) {
        // A picture that failed shows its alt text instead, at another size.
        if (container.WaitsForSize(key) || forms.Count() > 0 ||
            pictures.State(key) == TPictureCache::TState::Failed)
            ScheduleRelayout();
        else
            q->viewport()->update();
    };
    pictures.OnFrame = [this](const QString& key) {
        auto found = container.DrawnPictures().constFind(key);
        if (found == container.DrawnPictures().constEnd()) return;
        for (const QRect& rect : *found) q->viewport()->update(ToView(rect));
        for (int i = 0; i < forms.Count(); ++i)
            if (QWidget* widget = forms.Widget(i)) widget->update();
    };
    container.OnStyleSheetArrived = [this] { ScheduleRebuild(); };
    container.IsVisited = [this](const std::string& href) { return visited_.contains(FromUtf8(href)); };
    forms.CanSubmit = [this] { return static_cast<bool>(q->OnFormSubmit); };
    forms.OnSubmit = [this](TFormSubmission s) {
        if (q->OnFormSubmit)
            q->OnFormSubmit(q, s.action, s.target, s.encType, s.method, std::move(s.results));
    };
}

THtmlViewPrivate::~THtmlViewPrivate() {
    // No fetch may complete into a half-destroyed view.
    fetcher.CancelAll();
    selection.SetDocument(nullptr);
    document_.reset();
    forms.Clear();
}

void THtmlViewPrivate::BeginProcessing() {
    processing = true;
    if (q->OnProcessing) q->OnProcessing(q, true);
}

void THtmlViewPrivate::EndProcessing() {
    processing = false;
    if (q->OnProcessing) q->OnProcessing(q, false);
    if (!find.Needle().isEmpty()) emit q->FoundChanged();
}

void THtmlViewPrivate::SetDocumentShown(const litehtml::document::ptr& document) {
    selection.SetDocument(document);
    find.SetDocument(document);
}

void THtmlViewPrivate::Load(std::string bytes, const ByteString& baseRef) {
    if (processing) return;
    BeginProcessing();
    std::string documentName = baseRef, anchor;
    const size_t hash = baseRef.find('#');
    if (hash != std::string::npos) {
        documentName = baseRef.substr(0, hash);
        anchor = baseRef.substr(hash + 1);
    }
    relayoutTimer_.stop();
    rebuildTimer_.stop();
    SetDocumentShown(nullptr);
    RetireDocument();
    forms.Clear();
    clean_ = TCleanDocument();
    // The memory of the previous document goes back to the system, not only to the allocator.
    malloc_trim(0);
    pictures.NewDocument(imageCacheCount);
    try {
        const std::string stamp = Stamp();
        std::unique_ptr<TDocumentCache::TEntry> built =
            TDocumentCache::Keepable(bytes) ? cache_.Take(bytes, stamp) : nullptr;
        current_ = TCurrent();
        if (TDocumentCache::Keepable(bytes)) current_.bytes = bytes;
        if (built) {
            Adopt(*built);
        } else {
            TDecodedDocument decoded = DecodeDocument(bytes);
            bytes.clear();
            charset_ = decoded.charset;
            clean_ = CleanDocument(decoded.text);
            current_.base = BaseFor(clean_);
            container.SetBaseAddress(current_.base);
            forms.Reset(clean_.forms, clean_.controls, charset_, current_.base, viewImages);
            Build();
        }
        Layout();
    } catch (const std::exception&) {
        // Out of memory on a hostile document: show nothing rather than fail the load.
        Discard();
    }
    bool shown = false;
    if (!anchor.empty()) shown = GoToAnchor(anchor);
    if (!shown) {
        if (baseRef.empty() || documentName != lastDocumentName_)
            ScrollTo(0, 0);
        else
            ScrollTo(vpos, hpos);
    }
    lastDocumentName_ = documentName;
    q->viewport()->update();
    EndProcessing();
}

QString THtmlViewPrivate::BaseFor(const TCleanDocument& clean) const {
    QString base = FromUtf8(baseAddress);
    if (!clean.baseHref.empty()) {
        const QString documentBase = TPictureCache::Resolve(FromUtf8(clean.baseHref), base);
        if (!documentBase.isEmpty()) base = documentBase;
    }
    return base;
}

std::string THtmlViewPrivate::Stamp() const {
    // Everything a built document depends on besides the message itself.
    const QColor highlight = q->palette().color(QPalette::Active, QPalette::Highlight),
                 highlighted = q->palette().color(QPalette::Active, QPalette::HighlightedText);
    return QStringList{defFontName,
                       defPreFontName,
                       QString::number(defFontSize),
                       defFontColor.name(),
                       defLinkColor.name(),
                       defOverLinkColor.name(),
                       defVisitedLinkColor.name(),
                       QString::number(viewOptions),
                       QString::number(viewImages),
                       FromUtf8(baseAddress),
                       highlight.name(),
                       highlighted.name(),
                       QString::number(visitedGeneration_)}
        .join(QLatin1Char('\n'))
        .toStdString();
}

void THtmlViewPrivate::RetireDocument() {
    // The document shown goes to the cache when it can be shown again exactly as it is.
    if (document_ && !current_.bytes.empty() && forms.Count() == 0 && !current_.sheetsPending) {
        litehtml::position::vector boxes;
        document_->on_mouse_leave(boxes);
        auto entry = std::make_unique<TDocumentCache::TEntry>();
        entry->bytes = std::move(current_.bytes);
        entry->stamp = current_.stamp;
        entry->clean = std::move(clean_);
        entry->charset = charset_;
        entry->base = current_.base;
        entry->pictures = current_.pictures;
        entry->width = layoutWidth_;
        entry->document = std::move(document_);
        cache_.Put(std::move(entry));
    }
    document_.reset();
    current_ = TCurrent();
}

void THtmlViewPrivate::Adopt(TDocumentCache::TEntry& built) {
    charset_ = built.charset;
    clean_ = std::move(built.clean);
    current_.base = built.base;
    current_.pictures = built.pictures;
    current_.stamp = built.stamp;
    container.SetBaseAddress(built.base);
    forms.Reset({}, {}, charset_, built.base, viewImages);
    PrepareContainer();
    // The pictures the document asked for, loaded again when the cache of pictures let them go.
    for (const QString& key : built.pictures) pictures.Load(key);
    document_ = std::move(built.document);
    SetDocumentShown(document_);
    layoutWidth_ = built.width;
}

void THtmlViewPrivate::Prepare(std::string bytes, TPrepare when) {
    if (!TDocumentCache::Keepable(bytes)) return;
    if (when == TPrepare::Soon) {
        std::erase(pending_, bytes);
        pending_.push_front(std::move(bytes));
        while (pending_.size() > TDocumentCache::kMaxEntries) pending_.pop_back();
        prepareTimer_.start(0);
        return;
    }
    pending_.push_back(std::move(bytes));
    while (pending_.size() > TDocumentCache::kMaxEntries) pending_.pop_front();
    // Waits for a burst of arrivals to end, unless a selected message is waiting to be built.
    if (!prepareTimer_.isActive() || prepareTimer_.interval() != 0) prepareTimer_.start(kPrepareIdleMs);
}

bool THtmlViewPrivate::IsPrepared(const std::string& bytes) const {
    return TDocumentCache::Keepable(bytes) && (bytes == current_.bytes || cache_.Contains(bytes, Stamp()));
}

void THtmlViewPrivate::PrepareNext() {
    if (pending_.empty()) return;
    if (processing) {
        prepareTimer_.start(kPrepareIdleMs);
        return;
    }
    std::string bytes = std::move(pending_.front());
    pending_.pop_front();
    if (!pending_.empty()) prepareTimer_.start(kPrepareIdleMs);
    const std::string stamp = Stamp();
    if (bytes == current_.bytes || cache_.Contains(bytes, stamp)) return;
    const QString shownBase = container.BaseAddress();
    try {
        auto entry = std::make_unique<TDocumentCache::TEntry>();
        TDecodedDocument decoded = DecodeDocument(bytes);
        entry->charset = decoded.charset;
        entry->clean = CleanDocument(decoded.text);
        // A document with form controls is built when it is opened: its widgets are the view's.
        if (!entry->clean.controls.empty()) return;
        entry->bytes = std::move(bytes);
        entry->stamp = stamp;
        entry->base = BaseFor(entry->clean);
        container.SetBaseAddress(entry->base);
        PrepareContainer();
        container.BeginBuild();
        entry->document = CreateDocument(entry->clean);
        const bool complete = !container.SheetsPending();
        entry->pictures = container.BuiltPictures();
        entry->width = LayoutWidth();
        RenderInDirection(*entry->document, entry->width);
        container.SetBaseAddress(shownBase);
        if (complete) cache_.Put(std::move(entry));
    } catch (const std::exception&) {
        container.SetBaseAddress(shownBase);
    }
}

void THtmlViewPrivate::Discard() {
    SetDocumentShown(nullptr);
    document_.reset();
    forms.Clear();
    clean_ = TCleanDocument();
    current_ = TCurrent();
    docWidth_ = docHeight_ = 0;
    UpdateScrollBars();
}

void THtmlViewPrivate::PrepareContainer() {
    if (contextDirty_ || !context_[0]) {
        TStyleDefaults defaults;
        defaults.fontName = defFontName;
        defaults.fontColor = defFontColor;
        defaults.linkColor = defLinkColor;
        defaults.overLinkColor = defOverLinkColor;
        defaults.visitedLinkColor = defVisitedLinkColor;
        defaults.underlineLinks = (viewOptions & voNoLinkUnderline) == 0;
        defaults.highlightOverLinks = (viewOptions & voOverLinksActive) != 0;
        // Documents built with the old style sheet are built again.
        cache_.Clear();
        for (int quirks = 0; quirks < 2; ++quirks) {
            defaults.quirks = quirks != 0;
            context_[quirks] = std::make_unique<litehtml::context>();
            context_[quirks]->load_master_stylesheet(DefaultStyleSheet(defaults).c_str());
        }
        contextDirty_ = false;
    }
    fonts.SetDefaultNames(defFontName, defPreFontName);
    container.SetDefaultFont(defFontName, container.pt_to_px(defFontSize));
    container.SetViewImages(viewImages);
    container.SetClientSize(LayoutClientSize());
    container.SetSelectionColors(q->palette().color(QPalette::Active, QPalette::Highlight),
                                 q->palette().color(QPalette::Active, QPalette::HighlightedText));
}

litehtml::document::ptr THtmlViewPrivate::CreateDocument(TCleanDocument& clean) {
    container.SetQuirksMode(clean.quirks);
    auto document = litehtml::document::createFromUTF8(clean.html.c_str(), &container,
                                                       context_[clean.quirks ? 1 : 0].get());
    if (TableNesting(document) > TCleanLimits().maxTableNesting) {
        // The document's styles made tables of ordinary elements, nested deeper than layout can
        // bear: it is shown without its styles.
        document.reset();
        TCleanLimits limits;
        limits.keepStyles = false;
        const bool quirks = clean.quirks;
        clean = CleanDocument(clean.html, limits);
        clean.quirks = quirks;
        document = litehtml::document::createFromUTF8(clean.html.c_str(), &container,
                                                      context_[clean.quirks ? 1 : 0].get());
    }
    return document;
}

void THtmlViewPrivate::Build() {
    PrepareContainer();
    container.ClearSizeWaits();
    container.BeginBuild();
    SetDocumentShown(nullptr);
    document_.reset();
    document_ = CreateDocument(clean_);
    current_.stamp = Stamp();
    current_.pictures = container.BuiltPictures();
    current_.sheetsPending = container.SheetsPending();
    SetDocumentShown(document_);
    layoutWidth_ = -1;
}

int THtmlViewPrivate::LayoutWidth() const {
    return std::max(1, static_cast<int>((q->viewport()->width() - 2 * PageMarginWidth()) / zoom));
}

QSize THtmlViewPrivate::LayoutClientSize() const {
    return QSize(static_cast<int>(q->viewport()->width() / zoom),
                 static_cast<int>(q->viewport()->height() / zoom));
}

void THtmlViewPrivate::Layout() {
    container.SetClientSize(LayoutClientSize());
    const int width = LayoutWidth();
    if (document_) {
        if (width != layoutWidth_) document_->media_changed();
        container.ClearSizeWaits();
        RenderInDirection(*document_, width);
        // Sizes the renderer got from hostile styles stay within what scrolling can express.
        docWidth_ = std::clamp(document_->width(), 0, 1 << 28);
        docHeight_ = std::clamp(document_->height(), 0, 1 << 28);
    } else {
        docWidth_ = docHeight_ = 0;
    }
    layoutWidth_ = width;
    selection.Invalidate();
    find.Invalidate();
    UpdateScrollBars();
    forms.Place(Origin(), zoom);
}

void THtmlViewPrivate::Relayout(bool keepTopElement) {
    if (processing) {
        ScheduleRelayout();
        return;
    }
    BeginProcessing();
    // The element shown at the top edge stays there when it can be found again.
    std::shared_ptr<litehtml::element> top;
    double offset = 0;  // in document rows, which a change of zoom leaves alone
    if (keepTopElement && document_ && document_->root() && vpos > 0) {
        const QPoint point = ToDocument(QPoint(std::max(0, PageMarginWidth()) + 1, 0));
        top = document_->root()->get_element_by_point(point.x(), point.y(), 0, 0);
        if (top) offset = (vpos - PageMarginHeight()) / zoom - ElementTop(top);
    }
    try {
        Layout();
    } catch (const std::exception&) {
        Discard();
    }
    int target = vpos;
    if (top) target = static_cast<int>(std::lround((ElementTop(top) + offset) * zoom)) + PageMarginHeight();
    EndProcessing();
    if (DocumentHeight() <= ViewHeight())
        ScrollTo(0, hpos);
    else
        ScrollTo(target, hpos);
    q->viewport()->update();
}

void THtmlViewPrivate::ScheduleRelayout() {
    relayoutTimer_.start();
}
void THtmlViewPrivate::ScheduleRebuild() {
    rebuildTimer_.start();
}

int THtmlViewPrivate::DocumentHeight() const {
    return Scaled(docHeight_) + 2 * PageMarginHeight();
}
int THtmlViewPrivate::DocumentWidth() const {
    return Scaled(docWidth_) + 2 * PageMarginWidth();
}

int THtmlViewPrivate::Scaled(int documentLength) const {
    return static_cast<int>(std::ceil(documentLength * zoom - 1e-9));
}

QRect THtmlViewPrivate::Scaled(const QRect& documentRect) const {
    const int left = static_cast<int>(std::floor(documentRect.left() * zoom));
    const int top = static_cast<int>(std::floor(documentRect.top() * zoom));
    const int right = static_cast<int>(std::ceil((documentRect.left() + documentRect.width()) * zoom));
    const int bottom = static_cast<int>(std::ceil((documentRect.top() + documentRect.height()) * zoom));
    return QRect(left, top, right - left, bottom - top);
}

QPoint THtmlViewPrivate::ToDocument(QPoint viewportPoint) const {
    const QPoint shifted = viewportPoint - Origin();
    return QPoint(static_cast<int>(std::floor(shifted.x() / zoom)),
                  static_cast<int>(std::floor(shifted.y() / zoom)));
}

void THtmlViewPrivate::SetZoom(double value) {
    value = std::clamp(value, kZoomMin, kZoomMax);
    if (std::abs(value - zoom) < 1e-6) return;
    zoom = value;
    Relayout(true);
    emit q->ZoomChanged(zoom);
}
int THtmlViewPrivate::ViewHeight() const {
    return q->viewport()->height();
}
int THtmlViewPrivate::ViewWidth() const {
    return q->viewport()->width();
}

void THtmlViewPrivate::ScrollTo(int vertical, int horizontal) {
    vertical = std::clamp(vertical, 0, MaxVertical());
    horizontal = std::clamp(horizontal, 0, MaxHorizontal());
    if (vertical == vpos && horizontal == hpos) {
        UpdateScrollBars();
        return;
    }
    vpos = vertical;
    hpos = horizontal;
    UpdateScrollBars();
    forms.Place(Origin(), zoom);
    q->viewport()->update();
}

void THtmlViewPrivate::UpdateScrollBars() {
    QScrollBar* v = q->verticalScrollBar();
    QScrollBar* h = q->horizontalScrollBar();
    const QSignalBlocker blockV(v), blockH(h);
    v->setRange(0, MaxVertical());
    v->setPageStep(std::max(1, ViewHeight()));
    v->setSingleStep(16);
    v->setValue(vpos);
    h->setRange(0, MaxHorizontal());
    h->setPageStep(std::max(1, ViewWidth()));
    h->setSingleStep(15);
    h->setValue(hpos);
}

int THtmlViewPrivate::TableNesting(const litehtml::document::ptr& document) {
    if (!document || !document->root()) return 0;
    int deepest = 0;
    std::vector<std::pair<litehtml::element::ptr, int>> stack{{document->root(), 0}};
    while (!stack.empty()) {
        auto [element, depth] = stack.back();
        stack.pop_back();
        const litehtml::style_display display = element->get_display();
        if (display == litehtml::display_table || display == litehtml::display_inline_table) ++depth;
        deepest = std::max(deepest, depth);
        for (int i = static_cast<int>(element->get_children_count()); i-- > 0;)
            if (auto child = element->get_child(i)) stack.push_back({child, depth});
    }
    return deepest;
}

void THtmlViewPrivate::Paint(QPainter& painter, const QRect& area) {
    painter.fillRect(area, defBackground);
    if (!document_) return;
    // Drawn in document coordinates: moved to the origin and scaled by the zoom.
    painter.save();
    painter.translate(Origin());
    painter.scale(zoom, zoom);
    const QTransform toDocument = painter.transform().inverted();
    const QRect documentArea = toDocument.mapRect(QRectF(area)).toAlignedRect();
    container.BeginPaint(&painter, QPoint(0, 0),
                         toDocument.mapRect(QRectF(q->viewport()->rect())).toAlignedRect());
    const litehtml::position clip(documentArea.x(), documentArea.y(), documentArea.width(),
                                  documentArea.height());
    document_->draw(reinterpret_cast<litehtml::uint_ptr>(&painter), 0, 0, &clip);
    container.EndPaint();
    PaintFound(painter);
    painter.restore();
    keyboard.Paint(painter);
}

void THtmlViewPrivate::PaintFound(QPainter& painter) const {
    if (find.Count() == 0) return;
    // Multiplied over what is drawn, the tint keeps the text of any colour readable on it.
    static const QColor kFound(255, 236, 120), kCurrent(255, 150, 50);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    for (int i = 0; i < find.Count(); ++i)
        for (const QRect& box : find.Boxes(i)) painter.fillRect(box, i == find.Current() ? kCurrent : kFound);
    painter.restore();
}

void THtmlViewPrivate::RevealFound() {
    QRect whole;
    for (const QRect& box : find.Boxes(find.Current())) whole |= Scaled(box);
    if (whole.isEmpty()) return;
    const int top = whole.top() + PageMarginHeight(), bottom = whole.bottom() + PageMarginHeight();
    const int left = whole.left() + PageMarginWidth(), right = whole.right() + PageMarginWidth();
    int v = vpos, h = hpos;
    // Out of sight, it comes to a third of the way down, where the eye looks first.
    if (top < vpos || bottom >= vpos + ViewHeight()) v = top - ViewHeight() / 3;
    if (left < hpos || right >= hpos + ViewWidth()) h = left - ViewWidth() / 3;
    ScrollTo(v, h);
    q->viewport()->update();
}

void THtmlViewPrivate::MouseOver(QPoint viewportPoint) {
    if (!document_) return;
    const QPoint point = ToDocument(viewportPoint);
    litehtml::position::vector boxes;
    if (document_->on_mouse_over(point.x(), point.y(), viewportPoint.x(), viewportPoint.y(), boxes))
        q->viewport()->update();
    const bool link = !LinkAt(viewportPoint, false).empty();
    q->viewport()->setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void THtmlViewPrivate::MouseLeave() {
    if (!document_) return;
    litehtml::position::vector boxes;
    if (document_->on_mouse_leave(boxes)) q->viewport()->update();
}
