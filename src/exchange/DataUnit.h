#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "exchange/UtilsUnit.h"

// One message handed out by the web script; kept for the rest of the run.
class TNotification {
public:
    // From the script's whole answer, a field list.
    explicit TNotification(const ByteString& fieldList);
    // From an answer that has been decoded already.
    explicit TNotification(const TStringArray& fields);
    bool Read = false;
    int32_t Index = 0;
    ByteString Header, Title, Message;
};

// The store of all notifications, oldest first. It only grows; the queries below answer in
// constant time however many notifications it holds.
void AppendNotification(std::unique_ptr<TNotification> n);
void MarkRead(TNotification* n);                    // sets Read; the only way Read changes
int32_t NotificationIndex(const TNotification* n);  // its Index if n is in the store, else 0
int32_t HighestIndex();                             // never below 0
bool HasUnread();
const std::vector<std::unique_ptr<TNotification>>& Notifications();
void ClearNotifications();  // program end and tests only
