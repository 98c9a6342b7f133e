#include "base/WideText.h"

QString Widen(const ByteString& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

ByteString Narrow(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
