#include "htmlview/HtmlAccessibleObject.h"

#include "htmlview/HtmlAccessible.h"
#include "htmlview/HtmlAccessibleTree.h"
#include "htmlview/HtmlView.h"

THtmlAccessibleObject::THtmlAccessibleObject(THtmlView* view,
                                             const std::shared_ptr<const THtmlAccessibleTree>& tree,
                                             int index)
    : view_(view), tree_(tree), index_(index) {}

THtmlAccessibleDocument* THtmlAccessibleObject::Document() const {
    if (!view_ || tree_.expired()) return nullptr;
    return dynamic_cast<THtmlAccessibleDocument*>(QAccessible::queryAccessibleInterface(view_.data()));
}

bool THtmlAccessibleObject::isValid() const {
    const THtmlAccessibleDocument* document = Document();
    return document && document->Shows(tree_.lock().get());
}

QWindow* THtmlAccessibleObject::window() const {
    const THtmlAccessibleDocument* document = Document();
    return document ? document->window() : nullptr;
}

QAccessibleInterface* THtmlAccessibleObject::parent() const {
    const auto tree = tree_.lock();
    THtmlAccessibleDocument* document = Document();
    if (!tree || !document) return nullptr;
    const int parent = tree->Nodes()[static_cast<size_t>(index_)].parent;
    return parent <= 0 ? static_cast<QAccessibleInterface*>(document) : document->InterfaceOf(parent);
}

QAccessibleInterface* THtmlAccessibleObject::child(int index) const {
    const auto tree = tree_.lock();
    THtmlAccessibleDocument* document = Document();
    if (!tree || !document) return nullptr;
    const auto& children = tree->Nodes()[static_cast<size_t>(index_)].children;
    if (index < 0 || index >= static_cast<int>(children.size())) return nullptr;
    return document->InterfaceOf(children[static_cast<size_t>(index)]);
}

int THtmlAccessibleObject::childCount() const {
    const auto tree = tree_.lock();
    return tree ? static_cast<int>(tree->Nodes()[static_cast<size_t>(index_)].children.size()) : 0;
}

int THtmlAccessibleObject::indexOfChild(const QAccessibleInterface* child) const {
    for (int i = 0, count = childCount(); i < count; ++i)
        if (this->child(i) == child) return i;
    return -1;
}

QAccessibleInterface* THtmlAccessibleObject::childAt(int x, int y) const {
    for (int i = 0, count = childCount(); i < count; ++i)
        if (QAccessibleInterface* candidate = child(i); candidate && candidate->rect().contains(x, y))
            return candidate;
    return nullptr;
}

QString THtmlAccessibleObject::text(QAccessible::Text t) const {
    const auto tree = tree_.lock();
    if (!tree) return {};
    const auto& node = tree->Nodes()[static_cast<size_t>(index_)];
    switch (t) {
        // Blocks are read through their text; what names a link, a heading or a picture is its
        // own text.
        case QAccessible::Name:
            return node.role == QAccessible::Paragraph || node.role == QAccessible::ListItem ? QString()
                                                                                             : node.text;
        case QAccessible::Description:
        case QAccessible::Value: return node.target;
        default: return {};
    }
}

QRect THtmlAccessibleObject::rect() const {
    const THtmlAccessibleDocument* document = Document();
    return document ? document->ScreenRect(index_) : QRect();
}

QAccessible::Role THtmlAccessibleObject::role() const {
    const auto tree = tree_.lock();
    return tree ? tree->Nodes()[static_cast<size_t>(index_)].role : QAccessible::NoRole;
}

QAccessible::State THtmlAccessibleObject::state() const {
    QAccessible::State state;
    const THtmlAccessibleDocument* document = Document();
    if (!document || !document->Shows(tree_.lock().get())) {
        state.invalid = true;
        return state;
    }
    state.readOnly = true;
    state.selectableText = role() != QAccessible::Graphic;
    if (role() == QAccessible::Link) {
        state.focusable = true;
        state.linked = true;
        state.focused = document->HasFocus(index_);
    }
    if (rect().isEmpty()) state.invisible = true;
    return state;
}

void* THtmlAccessibleObject::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface && role() != QAccessible::Graphic)
        return static_cast<QAccessibleTextInterface*>(this);
    if (type == QAccessible::ActionInterface && role() == QAccessible::Link)
        return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QString THtmlAccessibleObject::PlainText() const {
    const auto tree = tree_.lock();
    return tree ? tree->Nodes()[static_cast<size_t>(index_)].text : QString();
}

QStringList THtmlAccessibleObject::actionNames() const {
    return role() == QAccessible::Link ? QStringList{pressAction()} : QStringList();
}

void THtmlAccessibleObject::doAction(const QString& actionName) {
    if (actionName != pressAction() || role() != QAccessible::Link) return;
    if (THtmlAccessibleDocument* document = Document(); document && document->Shows(tree_.lock().get()))
        document->Follow(index_);
}
