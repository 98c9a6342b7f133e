#include "exchange/UtilsUnit.h"

#include <cstring>
#include <limits>
#include <string_view>

ByteString StreamToString(TStream* stream) {
    ByteString result;
    if (!stream) return result;
    stream->SetPosition(0);
    result.resize(static_cast<size_t>(stream->Size()));
    const int64_t got = stream->Read(result.data(), static_cast<int64_t>(result.size()));
    result.resize(static_cast<size_t>(got));
    return result;
}

TStringArray ParseFieldList(const ByteString& text) {
    TStringArray result;
    int32_t width = 0;
    if (text.empty() || !IsIntegerText(std::string_view(text).substr(0, 1), width) || width <= 0)
        return result;

    const size_t d = static_cast<size_t>(width);
    uint64_t allNines = 1;
    for (size_t k = 0; k < d; ++k) allNines *= 10;
    --allNines;

    std::string_view rest = std::string_view(text).substr(1);
    while (!rest.empty()) {
        int32_t length = 0;
        // A negative length has no meaning; it ends decoding like any other defect.
        if (!IsIntegerText(TrimView(rest.substr(0, d)), length) || length < 0) break;
        const std::string_view data = rest.size() > d ? rest.substr(d) : std::string_view();
        if (static_cast<uint64_t>(length) == allNines) {
            result.emplace_back(data);
            break;
        }
        const size_t n = static_cast<size_t>(length);
        result.emplace_back(data.substr(0, n));
        rest = data.size() > n ? data.substr(n) : std::string_view();
    }
    return result;
}

ByteString FieldValue(const TStringArray& strings, const ByteString& name) {
    ByteString result;
    // An odd last name pairs with the empty value; scanning in place spares padding a copy.
    for (size_t i = 0; i < strings.size(); i += 2) {
        if (strings[i] == name) result = i + 1 < strings.size() ? strings[i + 1] : ByteString();
    }
    return result;
}

namespace {

// Each byte's encoding in a fixed four-byte slot with its length, so the loop runs without branches.
struct FormEncodingTable {
    char code[256][4];
    uint8_t length[256];
    constexpr FormEncodingTable() : code(), length() {
        constexpr char kHex[] = "0123456789ABCDEF";
        for (int c = 0; c < 256; ++c) {
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            if (c == ' ') {
                code[c][0] = '+';
                length[c] = 1;
            } else if (plain) {
                code[c][0] = static_cast<char>(c);
                length[c] = 1;
            } else {
                code[c][0] = '%';
                code[c][1] = kHex[c >> 4];
                code[c][2] = kHex[c & 0x0F];
                length[c] = 3;
            }
        }
    }
};

constexpr FormEncodingTable kFormEncoding;

}  // namespace

ByteString FormEncode(const ByteString& value) {
    // One spare byte: every slot is copied whole, four bytes at a time.
    ByteString result(value.size() * 3 + 1, '\0');
    char* out = result.data();
    for (const char byte : value) {
        const unsigned char c = static_cast<unsigned char>(byte);
        std::memcpy(out, kFormEncoding.code[c], 4);
        out += kFormEncoding.length[c];
    }
    result.resize(static_cast<size_t>(out - result.data()));
    return result;
}
