#include "support/ImageList.h"

#include <QPainter>

// Resources compiled into a static library are only kept when something refers to them.
static void InitImageResources() {
    Q_INIT_RESOURCE(support_images);
}

TImageList::TImageList(QObject* Owner, int Width, int Height)
    : QObject(Owner), FWidth(Width), FHeight(Height) {
    InitImageResources();
}

int TImageList::Add(const QImage& Image) {
    QImage Converted = Image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (Converted.width() != FWidth || Converted.height() != FHeight)
        Converted = Converted.scaled(FWidth, FHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    FImages.push_back(Converted);
    return Count() - 1;
}

void TImageList::Clear() {
    FImages.clear();
}

QImage TImageList::Image(int Index) const {
    if (Index >= 0 && Index < Count()) return FImages[static_cast<size_t>(Index)];
    QImage Blank(FWidth, FHeight, QImage::Format_ARGB32_Premultiplied);
    Blank.fill(Qt::transparent);
    return Blank;
}

QPixmap TImageList::Pixmap(int Index) const {
    return QPixmap::fromImage(Image(Index));
}

QIcon TImageList::Icon(int Index) const {
    return QIcon(Pixmap(Index));
}

static void LoadPictures(TImageList& List, std::initializer_list<const char*> Names) {
    InitImageResources();
    List.Clear();
    for (const char* Name : Names)
        List.Add(QImage(QStringLiteral(":/support/images/") + QLatin1String(Name)));
}

void LoadImagesTrayRead(TImageList& List) {
    LoadPictures(List, {"tray-read.png"});
}

void LoadImagesTrayUnread(TImageList& List) {
    LoadPictures(List, {"tray-unread.png", "tray-blank.png"});
}

void LoadImagesList(TImageList& List) {
    LoadPictures(List, {"list-new.png", "list-opened.png", "list-replied.png"});
}

QIcon ApplicationIcon() {
    InitImageResources();
    return QIcon(QStringLiteral(":/support/images/quorvel.png"));
}
