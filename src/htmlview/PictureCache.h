#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QMovie>
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

class TResourceFetcher;

// The pictures of the documents shown, by resolved address: data: URIs decoded at once, http and
// https fetched in the background; animated GIFs play frame by frame.
class TPictureCache : public QObject {
    Q_OBJECT

public:
    enum class TState { Loading, Ready, Failed };

    // Pictures larger than this are not decoded.
    static constexpr int kMaxSide = 10000;
    static constexpr qint64 kMaxPixels = 40'000'000;

    explicit TPictureCache(TResourceFetcher* fetcher, QObject* parent = nullptr);
    ~TPictureCache() override;

    // The absolute address of src, resolved against base; empty when it may not be loaded.
    static QString Resolve(const QString& src, const QString& base);

    // Starts loading a resolved address unless it is known already.
    void Load(const QString& key);
    TState State(const QString& key) const;
    // The picture's size; empty while it is loading or when it failed.
    QSize Size(const QString& key) const;
    // The present frame; null while loading or failed.
    QPixmap Frame(const QString& key) const;

    // Marks the start of a new document: of the pictures held, only the `keep` most recently
    // used stay; the new document loads the rest again.
    void NewDocument(int keep);
    void Clear();

    // A picture arrived (or failed) after loading began; several arrivals may come together.
    std::function<void(const QString& key)> OnArrived;
    // An animated picture moved to its next frame.
    std::function<void(const QString& key)> OnFrame;

    // Decodes a data: URI; false when it is not one or is malformed.
    static bool DecodeDataUri(const QString& uri, QByteArray& data);

private:
    struct TPicture {
        TState state = TState::Loading;
        QPixmap pixmap;
        QSize size;
        QByteArray data;
        std::unique_ptr<QBuffer> buffer;
        std::unique_ptr<QMovie> movie;
        quint64 used = 0;
    };

    void Decode(const QString& key, TPicture& picture, const QByteArray& data);

    TResourceFetcher* fetcher_;
    QHash<QString, std::shared_ptr<TPicture>> pictures_;
    quint64 generation_ = 1;
};
