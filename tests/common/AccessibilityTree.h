#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace testing_support {

// An object on the accessibility bus: the application's bus name and the object's path.
struct TAccessible {
    QString service, path;
    bool Valid() const { return !service.isEmpty() && !path.isEmpty(); }
};

// Reads applications as a screen reader does, through the AT-SPI interfaces on the accessibility
// bus (a connection of its own). Every call waits in the event loop, so the application under
// test may be this very process.
class TAccessibilityTree {
public:
    explicit TAccessibilityTree(const QString& busAddress);
    ~TAccessibilityTree();
    TAccessibilityTree(const TAccessibilityTree&) = delete;
    TAccessibilityTree& operator=(const TAccessibilityTree&) = delete;

    // The applications the registry lists.
    std::vector<TAccessible> Applications() const;
    std::vector<TAccessible> Children(const TAccessible& object) const;
    QString Name(const TAccessible& object) const;
    QString Description(const TAccessible& object) const;
    QString Role(const TAccessible& object) const;  // the role's name: "frame", "link", ...
    // Its whole text (Text interface); empty for an object without one.
    QString Text(const TAccessible& object) const;
    QStringList Actions(const TAccessible& object) const;

    // The first object at or below `from`, depth first, that the condition holds for.
    TAccessible Find(const TAccessible& from, const std::function<bool(const TAccessible&)>& condition,
                     int depth = 40) const;
    // The objects below `from`, one line each, indented by depth: role, name (else its text)
    // and description.
    QString Dump(const TAccessible& from, int depth = 40) const;

private:
    QVariant Property(const TAccessible& object, const QString& interface, const QString& name) const;
    void DumpInto(const TAccessible& object, int level, int depth, QString& out) const;

    QString connectionName_;
};

}  // namespace testing_support
