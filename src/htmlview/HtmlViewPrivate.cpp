#include "htmlview/HtmlViewPrivate.h"

#include <QPainter>
#include <QScrollBar>
#include <malloc.h>

#include <algorithm>

#include "htmlview/CharsetDetect.h"
#include "htmlview/DefaultStyle.h"
#include "htmlview/HtmlPainter.h"

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool SameText(const char* a, const std::string& b) {
    return a && QString::fromUtf8(a).compare(FromUtf8(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

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
        if (container.WaitsForSize(key) || forms.Count() > 0)
            ScheduleRelayout();
        else
            q->viewport()->update();
    };
    pictures.OnFrame = [this](const QString& key) {
        auto found = container.DrawnPictures().constFind(key);
        if (found == container.DrawnPictures().constEnd()) return;
        for (const QRect& rect : *found) q->viewport()->update(rect.translated(Origin()));
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
    selection.SetDocument(nullptr);
    document_.reset();
    forms.Clear();
    clean_ = TCleanDocument();
    // The memory of the previous document goes back to the system, not only to the allocator.
    malloc_trim(0);
    pictures.NewDocument(imageCacheCount);
    try {
        TDecodedDocument decoded = DecodeDocument(bytes);
        bytes.clear();
        charset_ = decoded.charset;
        clean_ = CleanDocument(decoded.text);
        QString base = FromUtf8(baseAddress);
        if (!clean_.baseHref.empty()) {
            const QString documentBase = TPictureCache::Resolve(FromUtf8(clean_.baseHref), base);
            if (!documentBase.isEmpty()) base = documentBase;
        }
        container.SetBaseAddress(base);
        forms.Reset(clean_.forms, clean_.controls, charset_, base, viewImages);
        Build();
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

void THtmlViewPrivate::Discard() {
    selection.SetDocument(nullptr);
    document_.reset();
    forms.Clear();
    clean_ = TCleanDocument();
    docWidth_ = docHeight_ = 0;
    UpdateScrollBars();
}

void THtmlViewPrivate::Build() {
    if (contextDirty_ || !context_) {
        TStyleDefaults defaults;
        defaults.fontName = defFontName;
        defaults.preFontName = defPreFontName;
        defaults.fontColor = defFontColor;
        defaults.linkColor = defLinkColor;
        defaults.overLinkColor = defOverLinkColor;
        defaults.visitedLinkColor = defVisitedLinkColor;
        defaults.underlineLinks = (viewOptions & voNoLinkUnderline) == 0;
        defaults.highlightOverLinks = (viewOptions & voOverLinksActive) != 0;
        context_ = std::make_unique<litehtml::context>();
        context_->load_master_stylesheet(DefaultStyleSheet(defaults).c_str());
        contextDirty_ = false;
    }
    fonts.SetDefaultNames(defFontName, defPreFontName);
    container.SetDefaultFont(defFontName, container.pt_to_px(defFontSize));
    container.SetViewImages(viewImages);
    container.SetClientSize(q->viewport()->size());
    container.SetSelectionColors(q->palette().color(QPalette::Active, QPalette::Highlight),
                                 q->palette().color(QPalette::Active, QPalette::HighlightedText));
    container.ClearSizeWaits();
    container.BeginBuild();
    selection.SetDocument(nullptr);
    document_.reset();
    document_ = litehtml::document::createFromUTF8(clean_.html.c_str(), &container, context_.get());
    if (TableNesting() > TCleanLimits().maxTableNesting) {
        // The document's styles made tables of ordinary elements, nested deeper than layout can
        // bear: it is shown without its styles.
        document_.reset();
        TCleanLimits limits;
        limits.keepStyles = false;
        clean_ = CleanDocument(clean_.html, limits);
        document_ = litehtml::document::createFromUTF8(clean_.html.c_str(), &container, context_.get());
    }
    selection.SetDocument(document_);
    layoutWidth_ = -1;
}

void THtmlViewPrivate::Layout() {
    container.SetClientSize(q->viewport()->size());
    const int width = std::max(1, q->viewport()->width() - 2 * marginWidth);
    if (document_) {
        if (width != layoutWidth_) document_->media_changed();
        container.ClearSizeWaits();
        document_->render(width);
        // Sizes the renderer got from hostile styles stay within what scrolling can express.
        docWidth_ = std::clamp(document_->width(), 0, 1 << 28);
        docHeight_ = std::clamp(document_->height(), 0, 1 << 28);
    } else {
        docWidth_ = docHeight_ = 0;
    }
    layoutWidth_ = width;
    selection.Invalidate();
    UpdateScrollBars();
    forms.Place(Origin());
}

void THtmlViewPrivate::Relayout(bool keepTopElement) {
    if (processing) {
        ScheduleRelayout();
        return;
    }
    BeginProcessing();
    // The element shown at the top edge stays there when it can be found again.
    std::shared_ptr<litehtml::element> top;
    int offset = 0;
    if (keepTopElement && document_ && document_->root() && vpos > 0) {
        const QPoint point = ToDocument(QPoint(std::max(0, marginWidth) + 1, 0));
        top = document_->root()->get_element_by_point(point.x(), point.y(), 0, 0);
        if (top) offset = vpos - (ElementTop(top) + marginHeight);
    }
    try {
        Layout();
    } catch (const std::exception&) {
        Discard();
    }
    int target = vpos;
    if (top) target = ElementTop(top) + marginHeight + offset;
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
    return docHeight_ + 2 * marginHeight;
}
int THtmlViewPrivate::DocumentWidth() const {
    return docWidth_ + 2 * marginWidth;
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
    forms.Place(Origin());
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

int THtmlViewPrivate::ElementTop(const std::shared_ptr<litehtml::element>& element) const {
    // Inline elements have no box of their own: their first word tells where they are.
    std::vector<litehtml::element::ptr> stack{element};
    while (!stack.empty()) {
        litehtml::element::ptr current = stack.back();
        stack.pop_back();
        if (current->get_children_count() == 0 || !current->is_inline_box()) {
            if (current != element || current->get_children_count() == 0)
                return htmlpaint::Coordinate(current->get_placement().y);
        }
        for (int i = static_cast<int>(current->get_children_count()); i-- > 0;)
            if (auto child = current->get_child(i)) stack.push_back(child);
    }
    return htmlpaint::Coordinate(element->get_placement().y);
}

std::shared_ptr<litehtml::element> THtmlViewPrivate::FindAnchor(const std::string& name) const {
    if (!document_ || !document_->root()) return nullptr;
    std::vector<litehtml::element::ptr> stack{document_->root()};
    while (!stack.empty()) {
        litehtml::element::ptr element = stack.back();
        stack.pop_back();
        if (SameText(element->get_attr("id"), name)) return element;
        const char* tag = element->get_tagName();
        if (tag && std::strcmp(tag, "a") == 0 && SameText(element->get_attr("name"), name)) return element;
        for (int i = static_cast<int>(element->get_children_count()); i-- > 0;)
            if (auto child = element->get_child(i)) stack.push_back(child);
    }
    return nullptr;
}

bool THtmlViewPrivate::GoToAnchor(const ByteString& name) {
    if (name.empty()) return false;
    const std::string key = name[0] == '#' ? name.substr(1) : name;
    auto anchor = FindAnchor(key);
    if (!anchor) return false;
    ScrollTo(ElementTop(anchor) + marginHeight, 0);
    AddVisited(lastDocumentName_ + "#" + key);
    return true;
}

void THtmlViewPrivate::AddVisited(const ByteString& target) {
    const QString entry = FromUtf8(target);
    const bool known = visited_.contains(entry);
    visited_.removeAll(entry);
    visited_.prepend(entry);
    while (visited_.size() > std::max(0, visitedMaxCount)) visited_.removeLast();
    // Links to it take the visited colour: the document is built again if it has any.
    if (!known && visited_.contains(entry) && HasLinkTo(target)) ScheduleRebuild();
}

int THtmlViewPrivate::TableNesting() const {
    if (!document_ || !document_->root()) return 0;
    int deepest = 0;
    std::vector<std::pair<litehtml::element::ptr, int>> stack{{document_->root(), 0}};
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

bool THtmlViewPrivate::HasLinkTo(const std::string& target) const {
    if (!document_ || !document_->root()) return false;
    std::vector<litehtml::element::ptr> stack{document_->root()};
    while (!stack.empty()) {
        litehtml::element::ptr element = stack.back();
        stack.pop_back();
        const char* tag = element->get_tagName();
        const char* href = element->get_attr("href");
        if (tag && href && std::strcmp(tag, "a") == 0 && target == href) return true;
        for (int i = static_cast<int>(element->get_children_count()); i-- > 0;)
            if (auto child = element->get_child(i)) stack.push_back(child);
    }
    return false;
}

namespace {

// A server-side image map picture inside a link, under the point.
litehtml::element::ptr MapPictureAt(const litehtml::element::ptr& link, QPoint point) {
    std::vector<litehtml::element::ptr> stack{link};
    while (!stack.empty()) {
        litehtml::element::ptr e = stack.back();
        stack.pop_back();
        const char* tag = e->get_tagName();
        if (tag && std::strcmp(tag, "img") == 0 && e->get_attr("ismap")) {
            const litehtml::position place = e->get_placement();
            if (place.is_point_inside(point.x(), point.y())) return e;
        }
        for (int i = static_cast<int>(e->get_children_count()); i-- > 0;)
            if (auto child = e->get_child(i)) stack.push_back(child);
    }
    return nullptr;
}

}  // namespace

ByteString THtmlViewPrivate::LinkAt(QPoint viewportPoint, bool withMapPosition) const {
    if (!document_ || !document_->root()) return {};
    const QPoint point = ToDocument(viewportPoint);
    auto element =
        document_->root()->get_element_by_point(point.x(), point.y(), viewportPoint.x(), viewportPoint.y());
    litehtml::element::ptr map;
    for (auto e = element; e; e = e->parent()) {
        const char* tag = e->get_tagName();
        if (!tag) continue;
        if (std::strcmp(tag, "img") == 0 && e->get_attr("ismap")) map = e;
        if (std::strcmp(tag, "a") != 0) continue;
        const char* href = e->get_attr("href");
        if (!href || !*href) return {};
        ByteString target = href;
        if (!map) map = MapPictureAt(e, point);
        if (map && withMapPosition) {
            const litehtml::position place = map->get_placement();
            target += '?';
            target += std::to_string(static_cast<long long>(point.x()) - place.x);
            target += ',';
            target += std::to_string(static_cast<long long>(point.y()) - place.y);
        }
        return target;
    }
    return {};
}

void THtmlViewPrivate::ClickLink(const ByteString& src) {
    bool handled = false;
    if (q->OnLinkClick) q->OnLinkClick(q, src, handled);
    AddVisited(src);
    if (handled) return;
    if (!src.empty() && src[0] == '#') GoToAnchor(src);
}

void THtmlViewPrivate::Paint(QPainter& painter, const QRect& area) {
    painter.fillRect(area, defBackground);
    if (!document_) return;
    const QPoint origin = Origin();
    container.BeginPaint(&painter, origin, q->viewport()->rect());
    const litehtml::position clip(area.x(), area.y(), area.width(), area.height());
    document_->draw(reinterpret_cast<litehtml::uint_ptr>(&painter), origin.x(), origin.y(), &clip);
    container.EndPaint();
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
