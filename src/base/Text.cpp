#include "base/Text.h"

namespace {

int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsTrimmedByte(unsigned char c) {
    return c <= 0x20;
}

}  // namespace

std::string_view TrimView(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsTrimmedByte(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && IsTrimmedByte(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool IsIntegerText(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;

    bool hex = false;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
        hex = true;
        ++i;
    } else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size()) return false;

    uint64_t magnitude = 0;
    if (hex) {
        for (; i < text.size(); ++i) {
            const int digit = HexDigitValue(static_cast<unsigned char>(text[i]));
            if (digit < 0) return false;
            magnitude = magnitude * 16 + static_cast<unsigned>(digit);
            if (magnitude > 0xFFFFFFFFull) return false;
        }
        uint32_t bits = static_cast<uint32_t>(magnitude);
        if (negative) bits = 0u - bits;
        value = static_cast<int32_t>(bits);
        return true;
    }
    const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return false;
    }
    value =
        negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return true;
}

ByteString Trim(const ByteString& text) {
    return ByteString(TrimView(text));
}

int32_t IntegerValue(std::string_view text, int32_t otherwise) {
    int32_t value = 0;
    return IsIntegerText(text, value) ? value : otherwise;
}

ByteString Lower(std::string_view text) {
    ByteString result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}
