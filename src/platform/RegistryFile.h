#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "base/Text.h"

namespace registry {

// The keys and values of one root key, read from and written to the registry editor's export
// format. Key paths are relative to the root key ("" is the root key itself) and, like value
// names, compare without regard to ASCII case. Lines that cannot be understood are kept as they
// are and written back, so rewriting a file loses nothing that was in it; they count as absent.
class THive {
public:
    explicit THive(ByteString rootName);

    static THive Parse(const ByteString& rootName, const ByteString& text);
    ByteString Serialize() const;

    const ByteString& RootName() const { return rootName_; }
    bool HasKey(const ByteString& path) const;
    void CreateKey(const ByteString& path);  // with every missing ancestor
    bool FindValue(const ByteString& path, const ByteString& name, uint32_t& type, ByteString& data) const;
    void SetValue(const ByteString& path, const ByteString& name, uint32_t type, const ByteString& data);

    // A key or value name component the file can hold: no byte below 0x20 (and, for key names,
    // no backslash).
    static bool IsValidKeyName(const ByteString& name);
    static bool IsValidValueName(const ByteString& name);

private:
    struct TEntry {
        bool raw = false;        // kept verbatim; a value only when !raw
        bool named = false;      // for raw lines: `name` holds the value name the line speaks of
        bool openEnded = false;  // for raw lines: read again, it would go on into a next line
        ByteString text;         // raw lines: the original line(s)
        ByteString name;
        uint32_t type = 0;
        ByteString data;
    };
    static TEntry BlankLine() {
        TEntry entry;
        entry.raw = true;
        return entry;
    }
    struct TSection {
        bool foreign = false;  // a header for another root or one not understood: all lines raw
        ByteString header;     // foreign sections: the original header line
        ByteString path;
        std::vector<TEntry> entries;
    };

    TSection* Section(const ByteString& path);
    const TSection* Section(const ByteString& path) const;
    TSection& AddSection(const ByteString& path);
    // Adds an entry at the end, kept apart from a line before it that would swallow it when read again.
    static void Append(TSection& section, TEntry entry);

    ByteString rootName_;
    std::vector<ByteString> preamble_;
    std::vector<TSection> sections_;
    std::map<ByteString, size_t> index_;  // lower-case path -> position in sections_
};

}  // namespace registry
