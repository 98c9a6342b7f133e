#pragma once

#include <QAccessible>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include <litehtml.h>

class THtmlForms;

// One object of the document as a screen reader sees it.
struct THtmlAccessibleNode {
    QAccessible::Role role = QAccessible::Paragraph;
    // What it says: the text of a block, a link's text, a picture's alt text, a control's label.
    QString text;
    QString target;  // a link's target as written
    // The element whose boxes give its place on screen (for a text run: the block around it).
    std::weak_ptr<litehtml::element> element;
    int control = -1;  // a form control of THtmlForms; its widget speaks for itself
    int parent = -1;
    std::vector<int> children;
};

// The document's objects in reading order (document order), node 0 being the document itself:
// headings, paragraphs, lists and their items hold text; links, pictures and form controls sit
// in the block they appear in. Tables and other boxes add no object of their own: the text in
// each of their cells is a paragraph. Text runs outside any heading, paragraph or list item
// become paragraphs. What is not displayed is left out.
class THtmlAccessibleTree {
public:
    THtmlAccessibleTree(const litehtml::document::ptr& document, const THtmlForms& forms);

    const std::vector<THtmlAccessibleNode>& Nodes() const { return nodes_; }
    // Every text of the document in reading order, blocks on lines of their own.
    QString Text() const;

private:
    void Walk(const litehtml::element::ptr& element, int container);
    int Add(THtmlAccessibleNode node, int parent);
    // The block that takes inline content met inside `container`: the container itself when it
    // holds text, else a paragraph opened for the run.
    int TextHolder(int container, const litehtml::element::ptr& element);
    void AppendText(int holder, const QString& text);
    // A block starts or ends: the next text opens a new paragraph and is the new preceding text.
    void BlockEdge();
    QString Label(const litehtml::element::ptr& element, int index) const;
    void CollectLabels(const litehtml::element::ptr& element);
    void Finish();

    const THtmlForms& forms_;
    std::vector<THtmlAccessibleNode> nodes_;
    int run_ = -1;           // the paragraph open for a text run, -1 for none
    QString precedingText_;  // the last text before a control, for its label
    bool atEdge_ = false;
    std::vector<std::pair<QString, QString>> labelsFor_;  // <label for>: id, text
};
