// The help document follows the user's language, and the German one has the English one's
// topics: the same anchors and links, so the topic list and the [home] links lead the same way.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include "shell/GermanHelpDocument.h"
#include "shell/HelpDocument.h"

namespace {

QString Joined(const TStringArray& lines) {
    QString text;
    for (const ByteString& line : lines) text += QString::fromStdString(line) + '\n';
    return text;
}

// Every name="..." and href="..." in document order.
QStringList Targets(const QString& document) {
    QStringList targets;
    const QRegularExpression pattern(QStringLiteral(R"re((name|href)="([^"]*)")re"));
    for (auto match = pattern.globalMatch(document); match.hasNext();) {
        const auto m = match.next();
        targets << m.captured(1) + '=' + m.captured(2);
    }
    return targets;
}

}  // namespace

TEST(GermanHelpDocument, TheLocaleChoosesTheLanguage) {
    const QString english = Joined(HelpDocumentLines());
    const struct {
        const char* Locale;
        bool German;
    } Table[] = {
        {"de_DE", true}, {"de_AT", true}, {"de_CH", true}, {"en_US", false}, {"fr_FR", false}, {"C", false},
    };
    for (const auto& Row : Table) {
        const QString shown = Joined(HelpDocumentLinesFor(QLocale(QString::fromLatin1(Row.Locale))));
        EXPECT_EQ(shown.contains("<h2>Hilfethemen</h2>"), Row.German) << Row.Locale;
        if (!Row.German) {
            EXPECT_EQ(shown, english) << Row.Locale << ": the English help stays as it is";
        }
    }
}

TEST(GermanHelpDocument, HasTheEnglishTopicsAnchorsAndStyle) {
    const QString english = Joined(HelpDocumentLines());
    const QString german = Joined(GermanHelpDocumentLines());
    EXPECT_EQ(Targets(german), Targets(english));
    const auto head = [](const QString& document) { return document.left(document.indexOf("<body>")); };
    EXPECT_EQ(head(german), head(english));
    EXPECT_TRUE(german.trimmed().endsWith("</html>"));
    EXPECT_FALSE(german.contains("Help Topics"));
    for (const ByteString& line : GermanHelpDocumentLines())
        for (const char c : line)
            EXPECT_GE(static_cast<signed char>(c), 0) << line << ": umlauts go as entities";
}
