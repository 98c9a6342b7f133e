#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QString>
#include <functional>
#include <vector>

class TNotification;

// The entries of the message list: notification and image index, newest first by
// ListViewCompare; an entry's caption is its notification's Title. A new entry is inserted at its place by
// binary search, so adding costs O(log n) comparisons and the usual case, a message newer than all others,
// moves nothing.
class TMessageListModel : public QAbstractListModel {
    Q_OBJECT
public:
    // Negative: the first entry goes above the second; positive: below; zero: either order.
    using TCompare = std::function<int(const TNotification* a, const TNotification* b)>;
    // The icon for an image index (0 unopened, 1 opened, 2 replied to).
    using TImageSource = std::function<QIcon(int imageIndex)>;

    explicit TMessageListModel(TCompare compare, QObject* parent = nullptr);

    void SetImageSource(TImageSource source) { images_ = std::move(source); }

    // Adds an entry at its place in the order; returns its row. The new entry goes above the
    // entries that compare equal to it (their order is not defined otherwise).
    int Add(TNotification* data, int imageIndex = 0);

    int Count() const { return static_cast<int>(items_.size()); }
    TNotification* Data(int row) const;
    QString Caption(int row) const;
    int ImageIndex(int row) const;
    void SetImageIndex(int row, int imageIndex);
    int RowOf(const TNotification* data) const;  // -1 when no entry carries it

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Captions are made from the Title when asked for, so only visible entries cost a text.
    static QString CaptionOf(const TNotification* data);
    // What a screen reader says for an entry: its caption with the read state, and its Header.
    static QString SpokenCaption(const TNotification* data, int imageIndex);
    static QString HeaderOf(const TNotification* data);

    static constexpr int NotificationRole = Qt::UserRole + 1;
    static constexpr int ImageIndexRole = Qt::UserRole + 2;

private:
    struct Item {
        TNotification* data;
        int imageIndex;
    };
    // Stored bottom entry first, so that the newest message is appended at the end.
    size_t Slot(int row) const { return items_.size() - 1 - static_cast<size_t>(row); }

    std::vector<Item> items_;
    TCompare compare_;
    TImageSource images_;
};
