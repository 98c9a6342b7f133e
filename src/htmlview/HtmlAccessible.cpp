#include "htmlview/HtmlAccessible.h"

#include <QComboBox>
#include <QWidget>

#include "htmlview/HtmlAccessibleObject.h"
#include "htmlview/HtmlAccessibleTree.h"
#include "htmlview/HtmlViewPrivate.h"

namespace {

QAccessibleInterface* ViewInterface(const QString& className, QObject* object) {
    if (className != QLatin1String("THtmlView")) return nullptr;
    auto* view = qobject_cast<THtmlView*>(object);
    return view ? new THtmlAccessibleDocument(view) : nullptr;
}

THtmlAccessibleDocument* DocumentOf(THtmlView* view) {
    return dynamic_cast<THtmlAccessibleDocument*>(QAccessible::queryAccessibleInterface(view));
}

}  // namespace

THtmlAccessibleDocument::THtmlAccessibleDocument(THtmlView* view)
    : QAccessibleWidget(view, QAccessible::Document) {}

void THtmlAccessibleDocument::Install() {
    static const bool installed = [] {
        QAccessible::installFactory(ViewInterface);
        return true;
    }();
    (void)installed;
}

void THtmlAccessibleDocument::DocumentChanged(THtmlView* view) {
    if (!QAccessible::isActive()) return;
    THtmlAccessibleDocument* document = DocumentOf(view);
    if (!document) return;
    document->Sync(true);
    QAccessibleEvent event(view, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

void THtmlAccessibleDocument::LinkFocused(THtmlView* view, const litehtml::element::ptr& link) {
    if (!QAccessible::isActive() || !link) return;
    // After the view's own focus event, which Qt raises once the focus change is handled:
    // the reader's focus is to end on the link, not on the document around it.
    QMetaObject::invokeMethod(
        view,
        [view, weak = std::weak_ptr<litehtml::element>(link)] {
            const litehtml::element::ptr link = weak.lock();
            THtmlAccessibleDocument* document = DocumentOf(view);
            if (!link || !document || view->d_->keyboard.FocusedElement() != link) return;
            document->Sync();
            const auto& nodes = document->tree_->Nodes();
            for (size_t i = 0; i < nodes.size(); ++i)
                if (nodes[i].role == QAccessible::Link && nodes[i].element.lock() == link) {
                    if (QAccessibleInterface* object = document->InterfaceOf(static_cast<int>(i))) {
                        QAccessibleEvent event(object, QAccessible::Focus);
                        QAccessible::updateAccessibility(&event);
                    }
                    return;
                }
        },
        Qt::QueuedConnection);
}

THtmlView* THtmlAccessibleDocument::View() const {
    return static_cast<THtmlView*>(widget());
}

void THtmlAccessibleDocument::Sync(bool force) const {
    THtmlView* view = View();
    const litehtml::document::ptr& current = view->d_->Document();
    if (tree_ && !force && document_.lock() == current) return;
    for (const QAccessible::Id id : ids_)
        if (id) QAccessible::deleteAccessibleInterface(id);
    document_ = current;
    tree_ = std::make_shared<const THtmlAccessibleTree>(current, view->d_->forms);
    ids_.assign(tree_->Nodes().size(), 0);
    // A control's widget speaks for it; its label from the document becomes its name. Qt's
    // drop-down on Linux is named by its current option, so it says its label as description.
    for (const THtmlAccessibleNode& node : tree_->Nodes())
        if (node.control >= 0 && !node.text.isEmpty())
            if (QWidget* widget = view->d_->forms.Widget(node.control)) {
                widget->setAccessibleName(node.text);
                if (qobject_cast<QComboBox*>(widget)) widget->setAccessibleDescription(node.text);
            }
}

int THtmlAccessibleDocument::childCount() const {
    Sync();
    return static_cast<int>(tree_->Nodes().front().children.size());
}

QAccessibleInterface* THtmlAccessibleDocument::child(int index) const {
    Sync();
    const auto& children = tree_->Nodes().front().children;
    if (index < 0 || index >= static_cast<int>(children.size())) return nullptr;
    return InterfaceOf(children[static_cast<size_t>(index)]);
}

int THtmlAccessibleDocument::indexOfChild(const QAccessibleInterface* child) const {
    for (int i = 0, count = childCount(); i < count; ++i)
        if (this->child(i) == child) return i;
    return -1;
}

QAccessibleInterface* THtmlAccessibleDocument::childAt(int x, int y) const {
    for (int i = 0, count = childCount(); i < count; ++i)
        if (QAccessibleInterface* candidate = child(i); candidate && candidate->rect().contains(x, y))
            return candidate;
    return nullptr;
}

QAccessible::State THtmlAccessibleDocument::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.selectableText = true;
    return state;
}

void* THtmlAccessibleDocument::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString THtmlAccessibleDocument::PlainText() const {
    Sync();
    return tree_->Text();
}

QAccessibleInterface* THtmlAccessibleDocument::InterfaceOf(int node) const {
    if (node <= 0 || node >= static_cast<int>(ids_.size())) return nullptr;
    const THtmlAccessibleNode& item = tree_->Nodes()[static_cast<size_t>(node)];
    if (item.control >= 0) {
        QWidget* widget = View()->d_->forms.Widget(item.control);
        return widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    }
    QAccessible::Id& id = ids_[static_cast<size_t>(node)];
    if (!id) id = QAccessible::registerAccessibleInterface(new THtmlAccessibleObject(View(), tree_, node));
    return QAccessible::accessibleInterface(id);
}

QRect THtmlAccessibleDocument::ScreenRect(int node) const {
    if (!tree_ || node <= 0 || node >= static_cast<int>(tree_->Nodes().size())) return {};
    const litehtml::element::ptr element = tree_->Nodes()[static_cast<size_t>(node)].element.lock();
    if (!element) return {};
    litehtml::position::vector boxes;
    element->get_inline_boxes(boxes);
    QRect whole;
    for (const litehtml::position& box : boxes) whole |= QRect(box.x, box.y, box.width, box.height);
    if (whole.isEmpty()) {
        const litehtml::position place = element->get_placement();
        whole = QRect(place.x, place.y, place.width, place.height);
    }
    if (whole.isEmpty()) return {};
    QWidget* viewport = View()->viewport();
    return whole.translated(View()->d_->Origin()).translated(viewport->mapToGlobal(QPoint(0, 0)));
}

bool THtmlAccessibleDocument::HasFocus(int node) const {
    if (!tree_ || node <= 0 || node >= static_cast<int>(tree_->Nodes().size())) return false;
    const litehtml::element::ptr focused = View()->d_->keyboard.FocusedElement();
    return focused && focused == tree_->Nodes()[static_cast<size_t>(node)].element.lock();
}

void THtmlAccessibleDocument::Follow(int node) {
    if (!tree_ || node <= 0 || node >= static_cast<int>(tree_->Nodes().size())) return;
    View()->d_->ClickLink(tree_->Nodes()[static_cast<size_t>(node)].target.toStdString());
}
