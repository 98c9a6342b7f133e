#include "htmlview/DocumentCache.h"

std::unique_ptr<TDocumentCache::TEntry> TDocumentCache::Take(const std::string& bytes,
                                                             const std::string& stamp) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if ((*it)->stamp != stamp || (*it)->bytes != bytes) continue;
        std::unique_ptr<TEntry> entry = std::move(*it);
        entries_.erase(it);
        return entry;
    }
    return nullptr;
}

bool TDocumentCache::Contains(const std::string& bytes, const std::string& stamp) const {
    for (const auto& entry : entries_)
        if (entry->stamp == stamp && entry->bytes == bytes) return true;
    return false;
}

void TDocumentCache::Put(std::unique_ptr<TEntry> entry) {
    if (!entry || !entry->document) return;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if ((*it)->stamp == entry->stamp && (*it)->bytes == entry->bytes)
            it = entries_.erase(it);
        else
            ++it;
    }
    entries_.push_front(std::move(entry));
    size_t total = 0;
    for (const auto& kept : entries_) total += kept->bytes.size();
    while (entries_.size() > kMaxEntries || (entries_.size() > 1 && total > kMaxTotalBytes)) {
        total -= entries_.back()->bytes.size();
        entries_.pop_back();
    }
}
