#include "base/Address.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace {

QUrl ParseUrl(const ByteString& text) {
    return QUrl::fromEncoded(QByteArray::fromStdString(text), QUrl::TolerantMode);
}

int EffectivePort(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.port(scheme == "https" ? 443 : scheme == "http" ? 80 : -1);
}

}  // namespace

ByteString ResolveAddress(const ByteString& base, const ByteString& link) {
    const QUrl target = ParseUrl(link);
    if (!target.isValid() || !target.isRelative()) return link;
    const QUrl from = ParseUrl(base);
    if (!from.isValid() || from.isRelative()) return link;
    return from.resolved(target).toEncoded().toStdString();
}

bool SameOrigin(const ByteString& first, const ByteString& second) {
    const QUrl a = ParseUrl(first);
    const QUrl b = ParseUrl(second);
    if (!a.isValid() || !b.isValid() || a.host().isEmpty()) return false;
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && EffectivePort(a) == EffectivePort(b);
}
