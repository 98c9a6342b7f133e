#pragma once

#include <QAccessibleTextInterface>
#include <QString>

// The text interface of an object that reads as plain text without a caret or a selection of its
// own (the document and its blocks): reading by character, word, line and sentence comes from
// Qt's boundary rules over the text.
class THtmlAccessibleText : public QAccessibleTextInterface {
public:
    virtual QString PlainText() const = 0;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override { return static_cast<int>(PlainText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override;
};
