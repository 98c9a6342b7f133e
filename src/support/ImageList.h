#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <vector>

// A list of equally sized images with transparency, the way the windows hand small pictures
// to the message list and the tray icon.
class TImageList : public QObject {
    Q_OBJECT

public:
    explicit TImageList(QObject* Owner = nullptr, int Width = 16, int Height = 16);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return static_cast<int>(FImages.size()); }

    // Appends an image, scaled to the list's size when it has another size; gives its index.
    int Add(const QImage& Image);
    void Clear();

    // An index outside 0..Count()-1 gives a fully transparent image of the list's size.
    QImage Image(int Index) const;
    QPixmap Pixmap(int Index) const;
    QIcon Icon(int Index) const;

private:
    int FWidth;
    int FHeight;
    std::vector<QImage> FImages;
};

// The program's own pictures, compiled into the program.
// ImagesTrayRead: a grey closed envelope.
void LoadImagesTrayRead(TImageList& List);
// ImagesTrayUnread: a yellow closed envelope, then a fully transparent image (the icon blinks).
void LoadImagesTrayUnread(TImageList& List);
// ImagesList: a yellow closed envelope (new), a white open envelope (opened), an open envelope
// with a green arrow (replied to).
void LoadImagesList(TImageList& List);
// The program's 32 x 32 picture: the window icon and the tray icon's fallback.
QIcon ApplicationIcon();
