#include "htmlview/EmojiText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <memory>

#include "htmlview/HtmlFonts.h"
#include "htmlview/TextClusters.h"

struct TEmojiFace {
    TEmojiFace(const QFont& f, const QFontMetrics& m) : font(f), metrics(m) {}
    QFont font;
    QFontMetrics metrics;
};

namespace emojitext {

namespace {

// Browsers advance by the family's own advance, 2550 of its 2048 units per em; Qt scales the
// family's bitmaps by a smaller factor, so the size asked of Qt is the one that gives that advance.
constexpr double kAdvancePerEm = 2550.0 / 2048.0;

const QString& Family() {
    static const QString family = THtmlFonts::Installed(QStringLiteral("Noto Color Emoji"));
    return family;
}

QFont EmojiFont(int pixelSize) {
    QFont font;
    font.setFamilies({Family()});
    font.setPixelSize(pixelSize);
    // Every character of a cluster from this one family, or the sequence is not joined.
    font.setStyleStrategy(QFont::NoFontMerging);
    return font;
}

int EmojiPixelSize(int pixelSize) {
    static QHash<int, int> known;
    auto found = known.constFind(pixelSize);
    if (found != known.constEnd()) return *found;
    const QString probe = QString::fromUcs4(U"\U0001F600", 1);
    const double wanted = pixelSize * kAdvancePerEm;
    const int guess = static_cast<int>(std::lround(wanted / 1.0625));
    int best = pixelSize;
    double bestError = 1e9;
    for (int size = std::max(1, guess - 2); size <= guess + 2; ++size) {
        const double error = std::abs(QFontMetricsF(EmojiFont(size)).horizontalAdvance(probe) - wanted);
        if (error < bestError) {
            bestError = error;
            best = size;
        }
    }
    known.insert(pixelSize, best);
    return best;
}

// The emoji face of a text font: its size, and its decorations so that a link stays underlined.
const TEmojiFace& Face(const THtmlFont& text) {
    if (!text.emojiFace) {
        const int size =
            std::clamp(text.font.pixelSize(), THtmlFonts::kMinPixelSize, THtmlFonts::kMaxPixelSize);
        QFont font = EmojiFont(EmojiPixelSize(size));
        font.setUnderline(text.font.underline());
        font.setStrikeOut(text.font.strikeOut());
        font.setOverline(text.font.overline());
        text.emojiFace = std::make_shared<const TEmojiFace>(font, QFontMetrics(font));
    }
    return *text.emojiFace;
}

}  // namespace

int Width(const THtmlFont& font, const QString& word) {
    if (Family().isEmpty() || !textclusters::MayHoldEmoji(word)) return font.metrics.horizontalAdvance(word);
    int width = 0;
    for (const TTextPiece& piece : textclusters::Split(word)) {
        const QString text = word.mid(piece.from, piece.length);
        width +=
            piece.emoji ? Face(font).metrics.horizontalAdvance(text) : font.metrics.horizontalAdvance(text);
    }
    return width;
}

void Draw(QPainter& painter, const THtmlFont& font, QPointF baseline, const QString& word) {
    if (Family().isEmpty() || !textclusters::MayHoldEmoji(word)) {
        painter.drawText(baseline, word);
        return;
    }
    const QFont saved = painter.font();
    for (const TTextPiece& piece : textclusters::Split(word)) {
        const QString text = word.mid(piece.from, piece.length);
        if (!piece.emoji) {
            painter.drawText(baseline, text);
            baseline.rx() += font.metrics.horizontalAdvance(text);
            continue;
        }
        const TEmojiFace& face = Face(font);
        painter.setFont(face.font);
        painter.drawText(baseline, text);
        painter.setFont(saved);
        baseline.rx() += face.metrics.horizontalAdvance(text);
    }
}

}  // namespace emojitext
