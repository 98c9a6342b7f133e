#include "exchange/DataUnit.h"

#include <algorithm>
#include <unordered_set>

TNotification::TNotification(const ByteString& fieldList) : TNotification(ParseFieldList(fieldList)) {}

TNotification::TNotification(const TStringArray& fields) {
    if (!IsIntegerText(FieldValue(fields, "Index"), Index)) Index = 0;
    Header = FieldValue(fields, "Header");
    Title = FieldValue(fields, "Title");
    Message = FieldValue(fields, "Message");
}

namespace {

struct Store {
    std::vector<std::unique_ptr<TNotification>> items;
    std::unordered_set<const TNotification*> members;
    int32_t highest = 0;
    size_t unread = 0;
};

Store& TheStore() {
    static Store store;
    return store;
}

}  // namespace

void AppendNotification(std::unique_ptr<TNotification> n) {
    if (!n) return;
    Store& store = TheStore();
    store.members.insert(n.get());
    store.highest = std::max(store.highest, n->Index);
    if (!n->Read) ++store.unread;
    store.items.push_back(std::move(n));
}

void MarkRead(TNotification* n) {
    if (!n || n->Read) return;
    n->Read = true;
    Store& store = TheStore();
    if (store.members.count(n)) --store.unread;
}

int32_t NotificationIndex(const TNotification* n) {
    return TheStore().members.count(n) ? n->Index : 0;
}

int32_t HighestIndex() {
    return TheStore().highest;
}

bool HasUnread() {
    return TheStore().unread > 0;
}

const std::vector<std::unique_ptr<TNotification>>& Notifications() {
    return TheStore().items;
}

void ClearNotifications() {
    Store& store = TheStore();
    store.members.clear();
    store.items.clear();
    store.highest = 0;
    store.unread = 0;
}
