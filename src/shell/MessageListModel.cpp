#include "shell/MessageListModel.h"

#include <algorithm>

#include "exchange/DataUnit.h"

TMessageListModel::TMessageListModel(TCompare compare, QObject* parent)
    : QAbstractListModel(parent), compare_(std::move(compare)) {}

int TMessageListModel::Add(TNotification* data, int imageIndex) {
    // Storage runs from the bottom entry up, so the new entry goes after every stored entry that
    // stands below it or compares equal: a message newer than all others (and a run of equal
    // ones) is appended without moving anything.
    auto belowOrEqual = [&](const Item& item) { return compare_(item.data, data) >= 0; };
    auto pos = std::partition_point(items_.begin(), items_.end(), belowOrEqual);
    const size_t slot = static_cast<size_t>(pos - items_.begin());
    const int row = static_cast<int>(items_.size() - slot);
    beginInsertRows(QModelIndex(), row, row);
    items_.insert(pos, Item{data, imageIndex});
    endInsertRows();
    return row;
}

TNotification* TMessageListModel::Data(int row) const {
    if (row < 0 || row >= Count()) return nullptr;
    return items_[Slot(row)].data;
}

QString TMessageListModel::Caption(int row) const {
    if (row < 0 || row >= Count()) return QString();
    return CaptionOf(items_[Slot(row)].data);
}

QString TMessageListModel::CaptionOf(const TNotification* data) {
    if (!data) return QString();
    return QString::fromLocal8Bit(data->Title.data(), static_cast<qsizetype>(data->Title.size()));
}

QString TMessageListModel::SpokenCaption(const TNotification* data, int imageIndex) {
    // The image alone tells a sighted reader the state; a screen reader hears it with the title.
    switch (imageIndex) {
        case 0: return tr("%1, unread").arg(CaptionOf(data));
        case 2: return tr("%1, replied to").arg(CaptionOf(data));
        default: return CaptionOf(data);
    }
}

QString TMessageListModel::HeaderOf(const TNotification* data) {
    if (!data) return QString();
    return QString::fromLocal8Bit(data->Header.data(), static_cast<qsizetype>(data->Header.size()));
}

int TMessageListModel::ImageIndex(int row) const {
    if (row < 0 || row >= Count()) return -1;
    return items_[Slot(row)].imageIndex;
}

void TMessageListModel::SetImageIndex(int row, int imageIndex) {
    if (row < 0 || row >= Count()) return;
    Item& item = items_[Slot(row)];
    if (item.imageIndex == imageIndex) return;
    item.imageIndex = imageIndex;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole, ImageIndexRole, Qt::AccessibleTextRole});
}

int TMessageListModel::RowOf(const TNotification* data) const {
    for (size_t slot = 0; slot < items_.size(); ++slot)
        if (items_[slot].data == data) return static_cast<int>(items_.size() - 1 - slot);
    return -1;
}

int TMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return QVariant();
    const Item& item = items_[Slot(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: return CaptionOf(item.data);
        case Qt::AccessibleTextRole: return SpokenCaption(item.data, item.imageIndex);
        case Qt::AccessibleDescriptionRole: return HeaderOf(item.data);
        case Qt::DecorationRole: return images_ ? QVariant(images_(item.imageIndex)) : QVariant();
        case NotificationRole: return QVariant::fromValue(static_cast<void*>(item.data));
        case ImageIndexRole: return item.imageIndex;
        default: return QVariant();
    }
}

Qt::ItemFlags TMessageListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
