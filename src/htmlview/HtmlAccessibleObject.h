#pragma once

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QPointer>
#include <memory>

#include "htmlview/HtmlAccessibleText.h"

class THtmlAccessibleDocument;
class THtmlAccessibleTree;
class THtmlView;

// One object of a view's document (a heading, paragraph, list, list item, link or picture) for
// screen readers. It reads everything from the document's tree and stops being valid when the
// view shows another document or goes away. A link can be followed through its press action.
class THtmlAccessibleObject final : public QAccessibleInterface,
                                    public THtmlAccessibleText,
                                    public QAccessibleActionInterface {
public:
    THtmlAccessibleObject(THtmlView* view, const std::shared_ptr<const THtmlAccessibleTree>& tree, int index);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QString PlainText() const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    THtmlAccessibleDocument* Document() const;

    QPointer<THtmlView> view_;
    std::weak_ptr<const THtmlAccessibleTree> tree_;
    int index_;
};
