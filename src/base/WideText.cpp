#include "base/WideText.h"

QString Widen(const ByteString& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

ByteString Narrow(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromUtf8(const char* text) {
    return QString::fromUtf8(text ? text : "");
}
