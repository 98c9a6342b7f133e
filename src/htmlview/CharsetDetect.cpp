#include "htmlview/CharsetDetect.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cctype>

#include "base/Text.h"

namespace {

// The HTML standard reads a declaration in the first 1024 bytes; older generators put long
// comments first, so a little more is looked at.
constexpr size_t kPrescanBytes = 4096;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/';
}

// The charset named in a content type such as "text/html; charset=iso-8859-1".
std::string CharsetFromContentType(const std::string& value) {
    const std::string lower = Lower(value);
    size_t at = lower.find("charset");
    if (at == std::string::npos) return {};
    at += 7;
    while (at < lower.size() && (lower[at] == ' ' || lower[at] == '\t')) ++at;
    if (at >= lower.size() || lower[at] != '=') return {};
    ++at;
    while (at < lower.size() && (lower[at] == ' ' || lower[at] == '\t')) ++at;
    char quote = 0;
    if (at < lower.size() && (lower[at] == '"' || lower[at] == '\'')) quote = lower[at++];
    size_t end = at;
    while (end < lower.size() && lower[end] != quote && lower[end] != ';' && lower[end] != ' ' &&
           lower[end] != '"' && lower[end] != '\'')
        ++end;
    return lower.substr(at, end - at);
}

struct TAttribute {
    std::string name, value;
};

// Reads the attributes of a tag starting at `at` (just after the tag name) up to its ">".
std::vector<TAttribute> ReadAttributes(const std::string& text, size_t& at, size_t limit) {
    std::vector<TAttribute> attributes;
    while (at < limit) {
        while (at < limit && IsBlank(text[at])) ++at;
        if (at >= limit || text[at] == '>') break;
        size_t nameStart = at;
        while (at < limit && !IsBlank(text[at]) && text[at] != '=' && text[at] != '>') ++at;
        TAttribute attribute{Lower(text.substr(nameStart, at - nameStart)), {}};
        while (at < limit && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            ++at;
        if (at < limit && text[at] == '=') {
            ++at;
            while (at < limit &&
                   (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
                ++at;
            if (at < limit && (text[at] == '"' || text[at] == '\'')) {
                const char quote = text[at++];
                size_t valueStart = at;
                while (at < limit && text[at] != quote) ++at;
                attribute.value = text.substr(valueStart, at - valueStart);
                if (at < limit) ++at;
            } else {
                size_t valueStart = at;
                while (at < limit && !IsBlank(text[at]) && text[at] != '>') ++at;
                attribute.value = text.substr(valueStart, at - valueStart);
            }
        }
        if (attribute.name.empty()) ++at;
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

// Maps labels to the encodings browsers use for them.
std::string NormalisedCharset(std::string name) {
    name = Lower(name);
    if (name == "utf8" || name == "unicode-1-1-utf-8") return "utf-8";
    // A document that reached us as bytes cannot really be UTF-16.
    if (name == "utf-16" || name == "utf-16le" || name == "utf-16be") return "utf-8";
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii" ||
        name == "iso8859-1" || name == "l1" || name == "cp1252" || name == "x-cp1252")
        return "windows-1252";
    return name;
}

const char kHighBytes[33] =
    "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F"
    "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F";

QString Windows1252ToUnicode(const std::string& bytes) {
    static const char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                       0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char c : bytes) {
        if (c >= 0x80 && c < 0xA0)
            text.append(QChar(kHigh[c - 0x80]));
        else
            text.append(QChar(c));
    }
    return text;
}

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        uint32_t code;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string DeclaredCharset(const std::string& bytes) {
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        return "utf-8";
    const size_t limit = std::min(bytes.size(), kPrescanBytes);
    size_t at = 0;
    while (at < limit) {
        size_t open = bytes.find('<', at);
        if (open == std::string::npos || open >= limit) break;
        if (bytes.compare(open, 4, "<!--") == 0) {
            size_t close = bytes.find("-->", open + 4);
            if (close == std::string::npos) break;
            at = close + 3;
            continue;
        }
        at = open + 1;
        if (open + 5 > limit || Lower(bytes.substr(open + 1, 4)) != "meta" || !IsBlank(bytes[open + 5]))
            continue;
        at = open + 5;
        const std::vector<TAttribute> attributes = ReadAttributes(bytes, at, limit);
        std::string charset, content;
        bool contentType = false;
        for (const TAttribute& attribute : attributes) {
            if (attribute.name == "charset" && charset.empty()) charset = Lower(attribute.value);
            if (attribute.name == "content") content = attribute.value;
            if (attribute.name == "http-equiv" && Lower(attribute.value) == "content-type")
                contentType = true;
        }
        if (charset.empty() && contentType) charset = CharsetFromContentType(content);
        while (!charset.empty() && (charset.back() == ' ' || charset.back() == '\t')) charset.pop_back();
        while (!charset.empty() && (charset.front() == ' ' || charset.front() == '\t')) charset.erase(0, 1);
        if (!charset.empty()) return NormalisedCharset(charset);
    }
    return {};
}

TDecodedDocument DecodeDocument(const std::string& bytes) {
    std::string charset = DeclaredCharset(bytes);
    if (charset == "utf-8") {
        std::string text = bytes;
        if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
        if (IsValidUtf8(text)) return {text, charset};
        // Declared UTF-8 but broken: keep the characters that are there, mark the rest.
        return {QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString(), charset};
    }
    if (!charset.empty() && charset != "windows-1252") {
        QStringDecoder decoder(charset.c_str());
        if (decoder.isValid()) {
            QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
            return {text.toStdString(), charset};
        }
        charset.clear();
    }
    if (charset.empty() && IsValidUtf8(bytes)) return {bytes, "utf-8"};
    return {Windows1252ToUnicode(bytes).toStdString(), "windows-1252"};
}

std::string EncodeForCharset(const std::string& utf8, const std::string& charset) {
    if (charset.empty() || charset == "utf-8") return utf8;
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    std::string out;
    if (charset == "windows-1252") {
        const QString high = Windows1252ToUnicode(std::string(kHighBytes, 32));
        for (char32_t code : text.toUcs4()) {
            if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
                out += static_cast<char>(code);
                continue;
            }
            const qsizetype at = code <= 0xFFFF ? high.indexOf(QChar(static_cast<char16_t>(code))) : -1;
            if (at >= 0)
                out += static_cast<char>(0x80 + at);
            else
                out += "&#" + std::to_string(static_cast<uint32_t>(code)) + ";";
        }
        return out;
    }
    QStringEncoder encoder(charset.c_str());
    if (!encoder.isValid()) return utf8;
    const QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
