// Any document must load, lay out, paint, scroll, select and be destroyed without a crash, a
// hang or a sanitizer report, and leave the view in a consistent state.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "htmlview/HtmlView.h"

namespace {

QApplication* Application() {
    static int argc = 1;
    static char name[] = "HtmlViewFuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // Broken pictures are expected; their decoders' complaints are not findings.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return new QApplication(argc, argv);
    }();
    return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Application();
    static int round = 0;
    ++round;
    auto view = std::make_unique<THtmlView>();
    view->SetBorderStyle(TBorderStyle::bsNone);
    view->SetScrollBars(TScrollStyle::ssNone);
    // No fuzz input may reach the network; relative addresses resolve against a closed port.
    view->SetFetchResources(false);
    view->SetBaseAddress("http://127.0.0.1:9/dir/");
    view->resize(round % 2 ? 400 : 257, 300);
    int events = 0;
    view->OnProcessing = [&](THtmlView*, bool) { ++events; };
    view->LoadBuffer(reinterpret_cast<const char*>(data), static_cast<int64_t>(size), "");
    if (events != 2 || view->Processing()) abort();
    QCoreApplication::processEvents();

    QImage canvas(view->size(), QImage::Format_ARGB32_Premultiplied);
    const int range = view->VerticalRange();
    for (int position : {0, range / 2, range}) {
        view->SetVerticalPosition(position);
        if (view->VerticalPosition() < 0 || view->VerticalPosition() > std::max(0, range)) abort();
        QPainter painter(&canvas);
        view->render(&painter);
    }
    view->resize(round % 2 ? 180 : 640, 200);
    view->GoToAnchor("#top");
    (void)view->SelectedText();
    QCoreApplication::processEvents();
    view.reset();
    return 0;
}
