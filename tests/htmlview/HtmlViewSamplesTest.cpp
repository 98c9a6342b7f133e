// Every realistic message of the samples folder loads and is drawn within a second. With
// QUORVEL_COMPARE_PNG set to a folder, each sample is also drawn at 700 x 900 with the view's own settings
// and saved there as a PNG file, for scripts/compare-with-browser, together with the whole page
// (NAME-page.png) and its height in pixels (NAME.height).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdlib>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

QStringList SampleNames() {
    const QString folder = QString::fromStdString(SamplePath(""));
    return QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

}  // namespace

TEST(HtmlViewSamples, TheCorpusHoldsRealisticMessages) {
    EXPECT_GE(SampleNames().size(), 15);
}

TEST(HtmlViewSamples, EverySampleIsDrawnWhole) {
    const char* folder = std::getenv("QUORVEL_COMPARE_PNG");
    for (const QString& name : SampleNames()) {
        const std::string html = ReadSample(name.toStdString());
        ASSERT_FALSE(html.empty()) << name.toStdString();
        THtmlView view;
        Configure(view, 700, 900);
        view.SetFetchResources(false);
        Load(view, html);
        // Pictures that cannot be fetched are reported through the event queue.
        Settle();
        EXPECT_FALSE(view.Processing());
        const QImage image = view.grab().toImage();
        EXPECT_EQ(image.size(), QSize(700, 900));
        if (folder && *folder) {
            const QString base = QString::fromUtf8(folder) + "/" + QFileInfo(name).completeBaseName();
            QDir().mkpath(QString::fromUtf8(folder));
            image.save(base + ".png");
            // The whole page: the view as tall as the document, and the document's height.
            const int documentHeight = view.height() + view.VerticalRange();
            view.resize(700, std::max(view.height(), documentHeight));
            Settle();
            view.grab().toImage().save(base + "-page.png");
            QFile height(base + ".height");
            if (height.open(QIODevice::WriteOnly)) height.write(QByteArray::number(documentHeight));
        }
    }
}
