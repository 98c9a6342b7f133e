#include <cstring>

#include "base/WideText.h"
#include "htmlview/HtmlPainter.h"
#include "htmlview/HtmlViewPrivate.h"
#include "htmlview/RightToLeft.h"

// Anchors, links and visited targets of the view's document.

namespace {

bool SameText(const char* a, const std::string& b) {
    return a && QString::fromUtf8(a).compare(FromUtf8(b), Qt::CaseInsensitive) == 0;
}

}  // namespace

int THtmlViewPrivate::ElementTop(const std::shared_ptr<litehtml::element>& element) const {
    // Inline elements have no box of their own: their first word tells where they are.
    std::vector<litehtml::element::ptr> stack{element};
    while (!stack.empty()) {
        litehtml::element::ptr current = stack.back();
        stack.pop_back();
        if (current->get_children_count() == 0 || !current->is_inline_box())
            return htmlpaint::Coordinate(current->get_placement().y);
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
    ScrollTo(Scaled(ElementTop(anchor)) + PageMarginHeight(), 0);
    AddVisited(lastDocumentName_ + "#" + key);
    return true;
}

void THtmlViewPrivate::AddVisited(const ByteString& target) {
    const QString entry = FromUtf8(target);
    const bool known = visited_.contains(entry);
    visited_.removeAll(entry);
    visited_.prepend(entry);
    while (visited_.size() > std::max(0, visitedMaxCount)) visited_.removeLast();
    // Links to it take the visited colour: the document is built again if it has any, and
    // documents built before do not show it.
    if (!known && visited_.contains(entry)) {
        ++visitedGeneration_;
        cache_.Clear();
        if (HasLinkTo(target)) ScheduleRebuild();
    }
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
    if (auto piece = PieceAt(document_->root(), point.x(), point.y())) element = piece;
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
