// A burst of poll answers (separated by the byte 0x1E) goes through what the poll cycle does with
// each: read the body from the response stream, decode the field list, take "Delay" and "Deny",
// store a notification when the four message fields are there and insert it into the message
// list. Nothing crashes, the store and the list agree, and the list stays newest first.
#include <QCoreApplication>
#include <QModelIndex>
#include <QVariant>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "exchange/DataUnit.h"
#include "exchange/UtilsUnit.h"
#include "shell/MessageListModel.h"
#include "transport/Stream.h"

namespace {

// The main window's order: higher Index above; equal ones in either order.
int NewestFirst(const TNotification* a, const TNotification* b) {
    const int32_t first = NotificationIndex(a), second = NotificationIndex(b);
    return first > second ? -1 : first < second ? 1 : 0;
}

struct TAnswerOutcome {
    bool stored = false;
    bool pollAgain = false;
};

TAnswerOutcome HandleAnswer(const ByteString& answer, TMessageListModel& list) {
    TMemoryStream stream;
    stream.Write(answer.data(), static_cast<int64_t>(answer.size()));
    stream.SetPosition(stream.Size());  // as a finished transfer leaves it
    const ByteString body = StreamToString(&stream);
    if (body != answer) std::abort();

    const TStringArray fields = ParseFieldList(body);
    int32_t delay = 0;
    if (!IsIntegerText(FieldValue(fields, "Delay"), delay)) delay = 1;
    TAnswerOutcome outcome;
    outcome.pollAgain = Trim(body).size() > 1;
    if (!FieldValue(fields, "Deny").empty()) return outcome;
    if (FieldValue(fields, "Index").empty() || FieldValue(fields, "Header").empty() ||
        FieldValue(fields, "Title").empty() || FieldValue(fields, "Message").empty())
        return outcome;

    auto owned = std::make_unique<TNotification>(body);
    TNotification* n = owned.get();
    if (n->Title != FieldValue(fields, "Title") || n->Message != FieldValue(fields, "Message") ||
        n->Header != FieldValue(fields, "Header"))
        std::abort();
    int32_t index = 0;
    if (IsIntegerText(FieldValue(fields, "Index"), index) ? n->Index != index : n->Index != 0) std::abort();
    AppendNotification(std::move(owned));
    const int row = list.Add(n, 0);
    if (list.Data(row) != n || list.RowOf(n) != row) std::abort();
    outcome.stored = true;
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int argc = 1;
    static char name[] = "PollAnswerFuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    ClearNotifications();
    TMessageListModel list(&NewestFirst);
    const ByteString input(reinterpret_cast<const char*>(data), size);
    std::vector<TNotification*> stored;
    int32_t highest = 0;
    size_t start = 0;
    while (start <= input.size()) {
        size_t end = input.find('\x1e', start);
        if (end == ByteString::npos) end = input.size();
        if (HandleAnswer(input.substr(start, end - start), list).stored) {
            stored.push_back(Notifications().back().get());
            highest = std::max(highest, stored.back()->Index);
        }
        start = end + 1;
    }

    if (Notifications().size() != stored.size() || list.Count() != static_cast<int>(stored.size()) ||
        list.rowCount() != list.Count() || HighestIndex() != highest || HasUnread() != !stored.empty())
        std::abort();
    for (int row = 0; row < list.Count(); ++row) {
        TNotification* n = list.Data(row);
        if (NotificationIndex(n) != n->Index || list.Caption(row) != TMessageListModel::CaptionOf(n) ||
            list.data(list.index(row), Qt::DisplayRole).toString() != list.Caption(row) ||
            list.data(list.index(row), TMessageListModel::NotificationRole).value<void*>() != n)
            std::abort();
        if (row > 0 && NewestFirst(list.Data(row - 1), n) > 0) std::abort();
    }
    for (TNotification* n : stored) MarkRead(n);
    if (HasUnread()) std::abort();
    ClearNotifications();
    return 0;
}
