#include "htmlview/PictureCache.h"

#include "base/Address.h"

#include <QImageReader>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "htmlview/ResourceFetcher.h"

TPictureCache::TPictureCache(TResourceFetcher* fetcher, QObject* parent)
    : QObject(parent), fetcher_(fetcher) {}

TPictureCache::~TPictureCache() = default;

QString TPictureCache::Resolve(const QString& src, const QString& base) {
    const QString trimmed = src.trimmed();
    if (trimmed.isEmpty()) return {};
    if (trimmed.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) return trimmed;
    // Pictures, links and form actions are resolved by the same rule.
    const ByteString resolved = ResolveAddress(base.toUtf8().toStdString(), trimmed.toUtf8().toStdString());
    QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(resolved), QUrl::TolerantMode);
    if (!url.isValid() || url.isRelative()) return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return {};
    url.setFragment(QString());
    return url.toString(QUrl::FullyEncoded);
}

bool TPictureCache::DecodeDataUri(const QString& uri, QByteArray& data) {
    if (!uri.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) return false;
    const qsizetype comma = uri.indexOf(QLatin1Char(','));
    if (comma < 0) return false;
    const QString header = uri.mid(5, comma - 5);
    const QByteArray payload = uri.mid(comma + 1).toLatin1();
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        QByteArray compact = QByteArray::fromPercentEncoding(payload);
        compact.replace(' ', "").replace('\n', "").replace('\r', "").replace('\t', "");
        auto result = QByteArray::fromBase64Encoding(compact);
        if (!result) return false;
        data = *result;
    } else {
        data = QByteArray::fromPercentEncoding(payload);
    }
    return true;
}

void TPictureCache::Decode(const QString& key, TPicture& picture, const QByteArray& data) {
    picture.state = TState::Failed;
    picture.data = data;
    picture.buffer = std::make_unique<QBuffer>(&picture.data);
    picture.buffer->open(QIODevice::ReadOnly);
    QImageReader reader(picture.buffer.get());
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxSide || size.height() > kMaxSide ||
                           qint64(size.width()) * size.height() > kMaxPixels))
        return;
    const bool animated = reader.supportsAnimation() && reader.imageCount() != 1;
    if (animated) {
        picture.buffer->seek(0);
        picture.movie = std::make_unique<QMovie>(picture.buffer.get());
        picture.movie->setCacheMode(QMovie::CacheNone);
        if (!picture.movie->isValid() || !picture.movie->jumpToFrame(0)) {
            picture.movie.reset();
            return;
        }
        picture.pixmap = picture.movie->currentPixmap();
        if (picture.pixmap.isNull()) {
            picture.movie.reset();
            return;
        }
        picture.size = picture.pixmap.size();
        picture.state = TState::Ready;
        QMovie* movie = picture.movie.get();
        connect(movie, &QMovie::frameChanged, this, [this, key, movie](int) {
            auto found = pictures_.find(key);
            if (found == pictures_.end() || found.value()->movie.get() != movie) return;
            found.value()->pixmap = movie->currentPixmap();
            if (OnFrame) OnFrame(key);
        });
        movie->start();
        return;
    }
    QImage image = reader.read();
    picture.buffer.reset();
    picture.data.clear();
    if (image.isNull()) return;
    picture.pixmap = QPixmap::fromImage(std::move(image));
    picture.size = picture.pixmap.size();
    picture.state = TState::Ready;
}

void TPictureCache::Load(const QString& key) {
    if (key.isEmpty()) return;
    auto found = pictures_.find(key);
    if (found != pictures_.end()) {
        found.value()->used = generation_;
        return;
    }
    auto picture = std::make_shared<TPicture>();
    picture->used = generation_;
    pictures_.insert(key, picture);
    if (key.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        QByteArray data;
        if (DecodeDataUri(key, data))
            Decode(key, *picture, data);
        else
            picture->state = TState::Failed;
        return;
    }
    std::weak_ptr<TPicture> weak = picture;
    fetcher_->Fetch(key, [this, key, weak](bool ok, const QByteArray& data) {
        auto entry = weak.lock();
        if (!entry) return;
        if (ok)
            Decode(key, *entry, data);
        else
            entry->state = TState::Failed;
        if (OnArrived) OnArrived(key);
    });
}

TPictureCache::TState TPictureCache::State(const QString& key) const {
    auto found = pictures_.constFind(key);
    return found == pictures_.constEnd() ? TState::Failed : found.value()->state;
}

QSize TPictureCache::Size(const QString& key) const {
    auto found = pictures_.constFind(key);
    return found == pictures_.constEnd() ? QSize() : found.value()->size;
}

QPixmap TPictureCache::Frame(const QString& key) const {
    auto found = pictures_.constFind(key);
    return found == pictures_.constEnd() ? QPixmap() : found.value()->pixmap;
}

void TPictureCache::NewDocument(int keep) {
    std::vector<std::pair<quint64, QString>> older;
    for (auto it = pictures_.begin(); it != pictures_.end(); ++it)
        older.push_back({it.value()->used, it.key()});
    std::sort(older.begin(), older.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t i = static_cast<size_t>(std::max(keep, 0)); i < older.size(); ++i)
        pictures_.remove(older[i].second);
    ++generation_;
}

void TPictureCache::Clear() {
    pictures_.clear();
}
