#include "htmlview/HtmlAccessibleTree.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <cstring>

#include <el_text.h>

#include "htmlview/HtmlForms.h"

namespace {

QString Tag(const litehtml::element::ptr& element) {
    const char* tag = element->get_tagName();
    return tag ? QString::fromUtf8(tag).toLower() : QString();
}

QString Attribute(const litehtml::element::ptr& element, const char* name) {
    const char* value = element->get_attr(name);
    return value ? QString::fromUtf8(value) : QString();
}

bool IsTextLeaf(const litehtml::element::ptr& element) {
    return dynamic_cast<litehtml::el_text*>(element.get()) != nullptr && !element->is_comment();
}

bool Displayed(const litehtml::element::ptr& element) {
    return element->get_display() != litehtml::display_none &&
           element->get_visibility() == litehtml::visibility_visible;
}

bool IsInline(const litehtml::element::ptr& element) {
    switch (element->get_display()) {
        case litehtml::display_inline:
        case litehtml::display_inline_block:
        case litehtml::display_inline_table:
        case litehtml::display_inline_text: return true;
        default: return false;
    }
}

// The break points that long words carry (zero-width spaces) are no text of the document.
QString Clean(QString text) {
    text.remove(QChar(0x200B));
    return text.simplified();
}

void GatherText(const litehtml::element::ptr& element, std::string& text) {
    if (element->is_comment()) return;
    if (IsTextLeaf(element)) {
        element->get_text(text);
        return;
    }
    if (element->is_break()) text += ' ';
    for (size_t i = 0; i < element->get_children_count(); ++i)
        GatherText(element->get_child(static_cast<int>(i)), text);
}

QString ElementText(const litehtml::element::ptr& element) {
    std::string text;
    GatherText(element, text);
    return Clean(QString::fromUtf8(text));
}

QAccessible::Role BlockRole(const QString& tag) {
    if (tag.size() == 2 && tag[0] == u'h' && tag[1] >= u'1' && tag[1] <= u'6') return QAccessible::Heading;
    if (tag == QLatin1String("li")) return QAccessible::ListItem;
    if (tag == QLatin1String("ul") || tag == QLatin1String("ol") || tag == QLatin1String("menu") ||
        tag == QLatin1String("dl"))
        return QAccessible::List;
    if (tag == QLatin1String("p") || tag == QLatin1String("pre") || tag == QLatin1String("dt") ||
        tag == QLatin1String("dd") || tag == QLatin1String("caption") || tag == QLatin1String("figcaption") ||
        tag == QLatin1String("blockquote") || tag == QLatin1String("address"))
        return QAccessible::Paragraph;
    return QAccessible::NoRole;
}

bool HoldsText(QAccessible::Role role) {
    return role == QAccessible::Paragraph || role == QAccessible::Heading || role == QAccessible::ListItem ||
           role == QAccessible::Link;
}

}  // namespace

THtmlAccessibleTree::THtmlAccessibleTree(const litehtml::document::ptr& document, const THtmlForms& forms)
    : forms_(forms) {
    THtmlAccessibleNode root;
    root.role = QAccessible::Document;
    if (document && document->root()) {
        root.element = document->root();
        CollectLabels(document->root());
    }
    nodes_.push_back(std::move(root));
    if (document && document->root()) Walk(document->root(), 0);
    Finish();
}

int THtmlAccessibleTree::Add(THtmlAccessibleNode node, int parent) {
    node.parent = parent;
    nodes_.push_back(std::move(node));
    const int index = static_cast<int>(nodes_.size()) - 1;
    nodes_[static_cast<size_t>(parent)].children.push_back(index);
    return index;
}

int THtmlAccessibleTree::TextHolder(int container, const litehtml::element::ptr& element) {
    if (HoldsText(nodes_[static_cast<size_t>(container)].role)) return container;
    if (run_ >= 0 && nodes_[static_cast<size_t>(run_)].parent == container) return run_;
    litehtml::element::ptr block = element;
    while (block && block->parent() && IsInline(block)) block = block->parent();
    THtmlAccessibleNode paragraph;
    paragraph.element = block;
    run_ = Add(std::move(paragraph), container);
    return run_;
}

void THtmlAccessibleTree::AppendText(int holder, const QString& text) {
    nodes_[static_cast<size_t>(holder)].text += text;
    // Words inside a link name the link, and they are words of the block the link stands in.
    bool inLink = nodes_[static_cast<size_t>(holder)].role == QAccessible::Link;
    for (int up = nodes_[static_cast<size_t>(holder)].parent; up > 0;
         up = nodes_[static_cast<size_t>(up)].parent) {
        THtmlAccessibleNode& node = nodes_[static_cast<size_t>(up)];
        if (node.role == QAccessible::Link) {
            node.text += text;
            inLink = true;
            continue;
        }
        if (inLink && HoldsText(node.role)) node.text += text;
        break;
    }
    if (atEdge_ && !text.trimmed().isEmpty()) {
        precedingText_.clear();
        atEdge_ = false;
    }
    precedingText_ += text;
}

void THtmlAccessibleTree::BlockEdge() {
    run_ = -1;
    atEdge_ = true;
}

void THtmlAccessibleTree::Walk(const litehtml::element::ptr& element, int container) {
    if (element->is_comment()) return;
    if (IsTextLeaf(element)) {
        std::string bytes;
        element->get_text(bytes);
        const QString text = QString::fromUtf8(bytes);
        const bool blank = text.trimmed().isEmpty();
        // Blanks between blocks open no paragraph.
        if (blank && !HoldsText(nodes_[static_cast<size_t>(container)].role) &&
            !(run_ >= 0 && nodes_[static_cast<size_t>(run_)].parent == container))
            return;
        AppendText(TextHolder(container, element->parent()), text);
        return;
    }
    if (!Displayed(element)) return;
    if (element->is_break()) {
        if (HoldsText(nodes_[static_cast<size_t>(container)].role) ||
            (run_ >= 0 && nodes_[static_cast<size_t>(run_)].parent == container))
            AppendText(TextHolder(container, element), QStringLiteral(" "));
        return;
    }
    if (const int index = forms_.IndexOf(element.get()); index >= 0) {
        THtmlAccessibleNode control;
        control.role = QAccessible::NoRole;
        control.control = index;
        control.element = element;
        control.text = Label(element, index);
        Add(std::move(control), TextHolder(container, element));
        precedingText_.clear();
        return;
    }
    const QString tag = Tag(element);
    if (tag == QLatin1String("img")) {
        const char* alt = element->get_attr("alt");
        // An empty alt text marks a picture that only decorates.
        if (alt && !*alt) return;
        THtmlAccessibleNode picture;
        picture.role = QAccessible::Graphic;
        picture.element = element;
        picture.text = Clean(alt ? QString::fromUtf8(alt) : Attribute(element, "title"));
        const int holder = TextHolder(container, element);
        // A picture that is all of a link names it.
        if (nodes_[static_cast<size_t>(holder)].role == QAccessible::Link &&
            nodes_[static_cast<size_t>(holder)].text.trimmed().isEmpty())
            AppendText(holder, picture.text);
        Add(std::move(picture), holder);
        return;
    }
    if (tag == QLatin1String("a") && !Attribute(element, "href").isEmpty()) {
        THtmlAccessibleNode link;
        link.role = QAccessible::Link;
        link.element = element;
        link.target = Attribute(element, "href");
        const int node = Add(std::move(link), TextHolder(container, element));
        for (size_t i = 0; i < element->get_children_count(); ++i)
            Walk(element->get_child(static_cast<int>(i)), node);
        return;
    }
    const QAccessible::Role role = BlockRole(tag);
    const bool edge = role != QAccessible::NoRole || !IsInline(element);
    if (edge) BlockEdge();
    int inner = container;
    if (role != QAccessible::NoRole) {
        THtmlAccessibleNode block;
        block.role = role;
        block.element = element;
        inner = Add(std::move(block), container);
    }
    for (size_t i = 0; i < element->get_children_count(); ++i)
        Walk(element->get_child(static_cast<int>(i)), inner);
    if (edge) BlockEdge();
}

void THtmlAccessibleTree::CollectLabels(const litehtml::element::ptr& element) {
    if (Tag(element) == QLatin1String("label")) {
        const QString target = Attribute(element, "for");
        if (!target.isEmpty()) labelsFor_.emplace_back(target, ElementText(element));
    }
    for (size_t i = 0; i < element->get_children_count(); ++i)
        CollectLabels(element->get_child(static_cast<int>(i)));
}

QString THtmlAccessibleTree::Label(const litehtml::element::ptr& element, int index) const {
    QWidget* widget = forms_.Widget(index);
    const bool toggle = qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget);
    // Buttons say their own text.
    if (qobject_cast<QAbstractButton*>(widget) && !toggle) return {};
    if (QString aria = Clean(Attribute(element, "aria-label")); !aria.isEmpty()) return aria;
    if (const QString id = Attribute(element, "id"); !id.isEmpty())
        for (const auto& [target, text] : labelsFor_)
            if (target == id && !text.isEmpty()) return text;
    for (litehtml::element::ptr up = element->parent(); up; up = up->parent())
        if (Tag(up) == QLatin1String("label")) {
            if (QString text = ElementText(up); !text.isEmpty()) return text;
            break;
        }
    if (QString title = Clean(Attribute(element, "title")); !title.isEmpty()) return title;
    if (const auto* edit = qobject_cast<QLineEdit*>(widget); edit && !edit->placeholderText().isEmpty())
        return edit->placeholderText();
    if (QString placeholder = Clean(Attribute(element, "placeholder")); !placeholder.isEmpty())
        return placeholder;
    // As browsers guess: the words just before a field name it ("Name: [      ]"); a box to tick
    // usually has its words after it, which are no safe guess.
    return toggle ? QString() : Clean(precedingText_);
}

void THtmlAccessibleTree::Finish() {
    for (THtmlAccessibleNode& node : nodes_) node.text = Clean(node.text);
    // Blocks that ended up saying nothing (an empty paragraph) are dropped, with their indexes.
    std::vector<bool> keep(nodes_.size(), false);
    for (size_t i = nodes_.size(); i-- > 0;) {
        const THtmlAccessibleNode& node = nodes_[i];
        if (i == 0 || !node.text.isEmpty() || node.control >= 0 || node.role == QAccessible::Graphic)
            keep[i] = true;
        if (keep[i] && node.parent >= 0) keep[static_cast<size_t>(node.parent)] = true;
    }
    std::vector<int> moved(nodes_.size(), -1);
    std::vector<THtmlAccessibleNode> kept;
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (keep[i]) {
            moved[i] = static_cast<int>(kept.size());
            kept.push_back(std::move(nodes_[i]));
        }
    for (THtmlAccessibleNode& node : kept) {
        if (node.parent >= 0) node.parent = moved[static_cast<size_t>(node.parent)];
        std::vector<int> children;
        for (int child : node.children)
            if (moved[static_cast<size_t>(child)] >= 0) children.push_back(moved[static_cast<size_t>(child)]);
        node.children = std::move(children);
    }
    nodes_ = std::move(kept);
}

QString THtmlAccessibleTree::Text() const {
    QStringList blocks;
    for (const THtmlAccessibleNode& node : nodes_)
        if (HoldsText(node.role) && node.role != QAccessible::Link && !node.text.isEmpty())
            blocks << node.text;
    return blocks.join(u'\n');
}
