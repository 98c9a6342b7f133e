#pragma once

#include <QAccessibleWidget>
#include <memory>
#include <vector>

#include <litehtml.h>

#include "htmlview/HtmlAccessibleText.h"

class THtmlAccessibleTree;
class THtmlView;

// What screen readers get of a view: its document, with the text in reading order and the
// headings, paragraphs, lists, links, pictures and form controls as objects below it (see
// THtmlAccessibleTree). Form controls are the real widgets, named by their labels.
class THtmlAccessibleDocument : public QAccessibleWidget, public THtmlAccessibleText {
public:
    explicit THtmlAccessibleDocument(THtmlView* view);

    // Makes Qt give views this interface (once; the view's constructor asks for it).
    static void Install();
    // A new document is on show: the objects of the old one go, and readers are told.
    static void DocumentChanged(THtmlView* view);
    // The keyboard focus moved onto a link of the view: readers follow it.
    static void LinkFocused(THtmlView* view, const litehtml::element::ptr& link);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;
    QString PlainText() const override;

    // For the objects below it.
    bool Shows(const THtmlAccessibleTree* tree) const { return tree && tree == tree_.get(); }
    QAccessibleInterface* InterfaceOf(int node) const;
    QRect ScreenRect(int node) const;
    bool HasFocus(int node) const;
    void Follow(int node);

private:
    THtmlView* View() const;
    // Builds the objects again when the view shows another document than they were built from.
    void Sync(bool force = false) const;

    mutable std::weak_ptr<litehtml::document> document_;
    mutable std::shared_ptr<const THtmlAccessibleTree> tree_;
    mutable std::vector<QAccessible::Id> ids_;  // per node; 0 while no object was asked for
};
