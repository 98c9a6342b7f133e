// Any document decodes to valid UTF-8 under a lower-case charset name without a crash; text read
// as windows-1252 encodes back to the very bytes it came from; undeclared valid UTF-8 is kept as
// it is.
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "htmlview/CharsetDetect.h"

namespace {

bool HasUpperAscii(const std::string& text) {
    for (char c : text)
        if (c >= 'A' && c <= 'Z') return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string declared = DeclaredCharset(bytes);
    if (HasUpperAscii(declared)) std::abort();

    const TDecodedDocument document = DecodeDocument(bytes);
    if (document.charset.empty() || HasUpperAscii(document.charset)) std::abort();
    if (!IsValidUtf8(document.text)) std::abort();
    if (declared.empty() && IsValidUtf8(bytes) && (document.text != bytes || document.charset != "utf-8"))
        std::abort();
    if (document.charset == "windows-1252" && EncodeForCharset(document.text, "windows-1252") != bytes)
        std::abort();

    // The validity check agrees with Qt's own decoder (told to keep a byte order mark): valid bytes
    // decode without error and survive a round trip, invalid ones do not.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString decoded = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(size)));
    const QByteArray again = decoded.toUtf8();
    const bool survives = !decoder.hasError() && again.size() == static_cast<qsizetype>(size) &&
                          std::string(again.constData(), static_cast<size_t>(again.size())) == bytes;
    if (IsValidUtf8(bytes) != survives) std::abort();

    // Replies go back in the document's charset and in a few others a site may declare. A
    // character a set cannot hold may be dropped (the invisible ones are), but plain ASCII text
    // goes into the ASCII-based sets unchanged.
    bool ascii = true;
    for (char c : document.text) ascii = ascii && c >= 0x20 && c < 0x7F;
    for (const char* charset : {document.charset.c_str(), "shift_jis", "no-such-set"})
        (void)EncodeForCharset(document.text, charset);
    for (const char* charset : {"iso-8859-2", "koi8-r"})
        if (ascii && EncodeForCharset(document.text, charset) != document.text) std::abort();
    return 0;
}
