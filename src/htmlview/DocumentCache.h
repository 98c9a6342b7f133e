#pragma once

#include <QString>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <litehtml.h>

#include "htmlview/HtmlCleaner.h"

// Built documents of recently opened (or prepared) messages, so that opening one again costs
// only its layout. An entry is used only when the message's bytes, the view's settings and the
// address they were built with are the same, so the view shows exactly what a fresh build would.
// Documents with form controls are never kept (their widgets belong to one document), nor those
// that waited for a style sheet.
class TDocumentCache {
public:
    // At most this many documents, of messages of at most kMaxMessageBytes each.
    // A built document takes about 150 times its message's size (7.7 MB for 50 KB), so the
    // messages kept add up to at most kMaxTotalBytes (about 40 MB of documents).
    static constexpr size_t kMaxEntries = 4;
    static constexpr size_t kMaxMessageBytes = 128u << 10;
    static constexpr size_t kMaxTotalBytes = 256u << 10;

    struct TEntry {
        std::string bytes;  // the message as given to LoadBuffer
        std::string stamp;  // the settings and base address it was built with
        TCleanDocument clean;
        std::string charset;
        QString base;                      // the address pictures were resolved against
        std::vector<QString> pictures;     // the pictures the document asked for
        litehtml::document::ptr document;  // built, possibly laid out
        int width = -1;                    // the width it was laid out to, -1 for none
    };

    static bool Keepable(const std::string& bytes) {
        return !bytes.empty() && bytes.size() <= kMaxMessageBytes;
    }

    // Takes the entry for these bytes and settings out of the cache; null when there is none.
    std::unique_ptr<TEntry> Take(const std::string& bytes, const std::string& stamp);
    bool Contains(const std::string& bytes, const std::string& stamp) const;
    // Keeps an entry as the most recent one; the oldest beyond the limit are dropped.
    void Put(std::unique_ptr<TEntry> entry);
    void Clear() { entries_.clear(); }
    size_t Size() const { return entries_.size(); }

private:
    std::deque<std::unique_ptr<TEntry>> entries_;  // most recent first
};
