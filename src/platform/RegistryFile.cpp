#include "platform/RegistryFile.h"

#include <cstdio>
#include <string_view>

#include "base/Text.h"

namespace registry {

namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

void SkipBlanks(std::string_view& text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = LowerAscii(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads 1..maxDigits hex digits; stops at the first other byte.
bool ReadHexNumber(std::string_view& text, size_t maxDigits, uint32_t& value) {
    size_t count = 0;
    value = 0;
    while (!text.empty() && HexValue(text.front()) >= 0) {
        if (++count > maxDigits) return false;
        value = value * 16 + static_cast<uint32_t>(HexValue(text.front()));
        text.remove_prefix(1);
    }
    return count > 0;
}

// `"..."` with \\ and \" escapes; any other backslash pair is kept as it stands.
bool ReadQuoted(std::string_view& text, ByteString& result) {
    if (text.empty() || text.front() != '"') return false;
    text.remove_prefix(1);
    result.clear();
    while (!text.empty()) {
        const char c = text.front();
        text.remove_prefix(1);
        if (c == '"') return true;
        if (c == '\\' && !text.empty() && (text.front() == '\\' || text.front() == '"')) {
            result += text.front();
            text.remove_prefix(1);
        } else {
            result += c;
        }
    }
    return false;
}

ByteString Quote(const ByteString& text) {
    ByteString result = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') result += '\\';
        result += c;
    }
    return result + '"';
}

bool ReadHexBytes(std::string_view text, ByteString& data) {
    data.clear();
    text = TrimBlanks(text);
    if (text.empty()) return true;
    while (true) {
        SkipBlanks(text);
        uint32_t byte = 0;
        if (!ReadHexNumber(text, 2, byte)) return false;
        data += static_cast<char>(byte);
        SkipBlanks(text);
        if (text.empty()) return true;
        if (text.front() != ',') return false;
        text.remove_prefix(1);
    }
}

// The value part after '=': a quoted text, dword:, hex: or hex(N):.
bool ReadData(std::string_view text, uint32_t& type, ByteString& data) {
    SkipBlanks(text);
    if (!text.empty() && text.front() == '"') {
        if (!ReadQuoted(text, data)) return false;
        if (!TrimBlanks(text).empty()) return false;
        data += '\0';
        type = kRegSz;
        return true;
    }
    if (StartsWithNoCase(text, "dword:")) {
        text.remove_prefix(6);
        SkipBlanks(text);
        uint32_t value = 0;
        if (!ReadHexNumber(text, 8, value) || !TrimBlanks(text).empty()) return false;
        data.assign(4, '\0');
        for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        type = kRegDword;
        return true;
    }
    if (!StartsWithNoCase(text, "hex")) return false;
    text.remove_prefix(3);
    type = kRegBinary;
    if (!text.empty() && text.front() == '(') {
        text.remove_prefix(1);
        if (!ReadHexNumber(text, 8, type) || text.empty() || text.front() != ')') return false;
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() != ':') return false;
    text.remove_prefix(1);
    return ReadHexBytes(text, data);
}

bool ReadValueName(std::string_view& text, ByteString& name) {
    if (!text.empty() && text.front() == '@') {
        text.remove_prefix(1);
        name.clear();
    } else if (!ReadQuoted(text, name)) {
        return false;
    }
    SkipBlanks(text);
    if (text.empty() || text.front() != '=') return false;
    text.remove_prefix(1);
    return true;
}

bool IsPlainText(const ByteString& data) {
    if (data.empty() || data.back() != '\0') return false;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (static_cast<unsigned char>(data[i]) < 0x20) return false;
    return true;
}

ByteString HexList(const ByteString& data) {
    ByteString result;
    char buffer[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", static_cast<unsigned char>(data[i]));
        result += buffer;
    }
    return result;
}

ByteString FormatData(uint32_t type, const ByteString& data) {
    if (type == kRegSz && IsPlainText(data)) return Quote(data.substr(0, data.size() - 1));
    char buffer[32];
    if (type == kRegDword && data.size() == 4) {
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(data[i]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", value);
        return buffer;
    }
    if (type == kRegBinary) return "hex:" + HexList(data);
    std::snprintf(buffer, sizeof buffer, "hex(%x):", type);
    return buffer + HexList(data);
}

ByteString FormatName(const ByteString& name) {
    return name.empty() ? ByteString("@") : Quote(name);
}

// Splits "a\b\c" into its components; false when one is empty or not a valid key name.
bool SplitPath(std::string_view path, std::vector<ByteString>& parts) {
    parts.clear();
    if (path.empty()) return true;
    while (true) {
        const size_t slash = path.find('\\');
        const ByteString part(path.substr(0, slash));
        if (!THive::IsValidKeyName(part)) return false;
        parts.push_back(part);
        if (slash == std::string_view::npos) return true;
        path.remove_prefix(slash + 1);
    }
}

std::vector<ByteString> SplitLines(const ByteString& text) {
    std::vector<ByteString> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == ByteString::npos) end = text.size();
        ByteString line = text.substr(start, end - start);
        while (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

}  // namespace

THive::THive(ByteString rootName) : rootName_(std::move(rootName)) {}

bool THive::IsValidKeyName(const ByteString& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\') return false;
    return true;
}

bool THive::IsValidValueName(const ByteString& name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

THive THive::Parse(const ByteString& rootName, const ByteString& text) {
    THive hive(rootName);
    const std::vector<ByteString> lines = SplitLines(text);
    TSection* current = nullptr;
    bool inForeign = false;
    auto keep = [&](TEntry entry) {
        if (current) {
            Append(*current, std::move(entry));
        } else if (inForeign) {
            hive.sections_.back().entries.push_back(std::move(entry));
        } else {
            hive.preamble_.push_back(entry.text);
        }
    };

    size_t blanks = 0;  // blank lines inside a section are kept unless they end it
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = TrimBlanks(lines[i]);
        if (line.empty()) {
            if (current) ++blanks;
            continue;
        }
        if (!current && !inForeign && hive.preamble_.empty() &&
            (line == "REGEDIT4" || line == "Windows Registry Editor Version 5.00"))
            continue;

        if (line.front() == '[' && line.back() == ']') {
            blanks = 0;
            const std::string_view inner = line.substr(1, line.size() - 2);
            std::vector<ByteString> parts;
            bool ours = false;
            ByteString path;
            if (StartsWithNoCase(inner, rootName)) {
                std::string_view rest = inner.substr(rootName.size());
                if (rest.empty()) {
                    ours = true;
                } else if (rest.front() == '\\' && SplitPath(rest.substr(1), parts)) {
                    ours = true;
                    path = ByteString(rest.substr(1));
                }
            }
            if (ours) {
                // The root key's own header: CreateKey makes no section for the empty path.
                if (path.empty() && !hive.Section(path))
                    hive.AddSection(path);
                else
                    hive.CreateKey(path);
                current = hive.Section(path);
                inForeign = false;
            } else {
                TSection foreign;
                foreign.foreign = true;
                foreign.header = ByteString(line);
                hive.sections_.push_back(std::move(foreign));
                current = nullptr;
                inForeign = true;
            }
            continue;
        }

        for (; current && blanks > 0; --blanks) current->entries.push_back(BlankLine());
        ByteString original = lines[i];
        ByteString joined(line);
        // Long hex lists may go on over several lines, each but the last ending in a backslash.
        const bool valueLine = current && (joined.front() == '"' || joined.front() == '@');
        while (valueLine && joined.back() == '\\' && Lower(joined).find("hex") != ByteString::npos &&
               i + 1 < lines.size() && !TrimBlanks(lines[i + 1]).empty() &&
               TrimBlanks(lines[i + 1])[0] != '[') {
            joined.pop_back();
            joined += TrimBlanks(lines[++i]);
            original += '\n' + lines[i];
        }

        TEntry entry;
        entry.raw = true;
        entry.text = original;
        entry.openEnded = valueLine && joined.back() == '\\' && Lower(joined).find("hex") != ByteString::npos;
        std::string_view rest = joined;
        if (valueLine) {
            ByteString name;
            if (ReadValueName(rest, name)) {
                entry.named = true;
                entry.name = name;
                uint32_t type = 0;
                ByteString data;
                if (ReadData(rest, type, data)) {
                    hive.SetValue(current->path, name, type, data);
                    continue;
                }
            }
        }
        keep(std::move(entry));
    }
    return hive;
}

ByteString THive::Serialize() const {
    ByteString out = "REGEDIT4\n\n";
    for (const ByteString& line : preamble_) out += line + '\n';
    if (!preamble_.empty()) out += '\n';
    for (const TSection& section : sections_) {
        if (section.foreign)
            out += section.header + '\n';
        else
            out += '[' + rootName_ + (section.path.empty() ? "" : "\\" + section.path) + "]\n";
        size_t end = section.entries.size();
        while (end > 0 && section.entries[end - 1].raw && section.entries[end - 1].text.empty()) --end;
        for (size_t e = 0; e < end; ++e) {
            const TEntry& entry = section.entries[e];
            if (entry.raw)
                out += entry.text + '\n';
            else
                out += FormatName(entry.name) + '=' + FormatData(entry.type, entry.data) + '\n';
        }
        out += '\n';
    }
    return out;
}

THive::TSection* THive::Section(const ByteString& path) {
    const auto found = index_.find(Lower(path));
    return found == index_.end() ? nullptr : &sections_[found->second];
}

const THive::TSection* THive::Section(const ByteString& path) const {
    const auto found = index_.find(Lower(path));
    return found == index_.end() ? nullptr : &sections_[found->second];
}

THive::TSection& THive::AddSection(const ByteString& path) {
    index_[Lower(path)] = sections_.size();
    TSection section;
    section.path = path;
    sections_.push_back(std::move(section));
    return sections_.back();
}

bool THive::HasKey(const ByteString& path) const {
    return path.empty() || Section(path) != nullptr;
}

void THive::CreateKey(const ByteString& path) {
    std::vector<ByteString> parts;
    if (!SplitPath(path, parts)) return;
    ByteString prefix;
    for (const ByteString& part : parts) {
        ByteString next = prefix.empty() ? part : prefix + '\\' + part;
        if (const TSection* existing = Section(next))
            prefix = existing->path;  // keep the spelling already stored
        else
            prefix = AddSection(next).path;
    }
}

bool THive::FindValue(const ByteString& path, const ByteString& name, uint32_t& type,
                      ByteString& data) const {
    const TSection* section = Section(path);
    if (!section) return false;
    for (const TEntry& entry : section->entries) {
        if (!entry.raw && EqualNoCase(entry.name, name)) {
            type = entry.type;
            data = entry.data;
            return true;
        }
    }
    return false;
}

void THive::SetValue(const ByteString& path, const ByteString& name, uint32_t type, const ByteString& data) {
    TSection* section = Section(path);
    if (!section) {
        if (path.empty()) {
            section = &AddSection(path);
        } else {
            CreateKey(path);
            section = Section(path);
            if (!section) return;
        }
    }
    // A kept line that spoke of this value would contradict it once it has been set.
    std::erase_if(section->entries, [&](const TEntry& entry) {
        return entry.raw && entry.named && EqualNoCase(entry.name, name);
    });
    for (TEntry& entry : section->entries) {
        if (!entry.raw && EqualNoCase(entry.name, name)) {
            entry.type = type;
            entry.data = data;
            return;
        }
    }
    TEntry entry;
    entry.name = name;
    entry.type = type;
    entry.data = data;
    Append(*section, std::move(entry));
}

void THive::Append(TSection& section, TEntry entry) {
    // A kept line that reading ended only because a blank line, a key header or the end of the file
    // came next would swallow any other line written right after it: a value set anew, or the lines
    // of a key's second header merged into its first.
    const std::string_view first = TrimBlanks(std::string_view(entry.text).substr(0, entry.text.find('\n')));
    const bool swallowable = !entry.raw || (!first.empty() && first.front() != '[');
    if (swallowable && !section.entries.empty() && section.entries.back().openEnded)
        section.entries.push_back(BlankLine());
    section.entries.push_back(std::move(entry));
}

}  // namespace registry
