// Every realistic message of the samples folder loads and is drawn within a second. With
// QUORVEL_COMPARE_PNG set to a folder, each sample is also drawn as a browser would frame it (700 x 900, the
// browser's page margin of 8 pixels) and saved there as a PNG file, for scripts/compare-with-browser.
#include <gtest/gtest.h>

#include <QDir>
#include <cstdlib>

#include "HtmlViewTestSupport.h"
#include "htmlview/HtmlView.h"

using namespace htmlview_testing;

namespace {

QStringList SampleNames() {
    const QString folder = QString::fromStdString(SamplePath(""));
    return QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

// The sample with the browser's default body margin put in front of the document's own styles,
// so that the document's rules still win; the view's own page margins are then set to 0.
std::string WithBrowserMargin(const std::string& html) {
    const std::string rule = "<style>body{margin:8px}</style>";
    size_t at = 0;
    if (html.size() > 9 && QByteArray::fromStdString(html.substr(0, 9)).toLower() == "<!doctype") {
        const size_t end = html.find('>');
        if (end != std::string::npos) at = end + 1;
    }
    return html.substr(0, at) + rule + html.substr(at);
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
        view.SetMarginWidth(0);
        view.SetMarginHeight(0);
        view.SetFetchResources(false);
        Load(view, WithBrowserMargin(html));
        // Pictures that cannot be fetched are reported through the event queue.
        Settle();
        EXPECT_FALSE(view.Processing());
        const QImage image = view.grab().toImage();
        EXPECT_EQ(image.size(), QSize(700, 900));
        if (folder && *folder) {
            QDir().mkpath(QString::fromUtf8(folder));
            image.save(QString::fromUtf8(folder) + "/" + QFileInfo(name).completeBaseName() + ".png");
        }
    }
}
