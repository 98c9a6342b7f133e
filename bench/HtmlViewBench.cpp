// Loading and laying out messages of about 5 KB, 50 KB and 1 MB, and painting a full view.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <string>

#include "htmlview/HtmlView.h"

namespace {

// A realistic message: a heading, paragraphs with links and emphasis, an order table and a list,
// repeated until it reaches the size asked for.
std::string Message(size_t bytes) {
    std::string html =
        "<html><head><style>body{font-family:Arial,sans-serif} td{border:1px solid #ccc;padding:3px}"
        " .total{font-weight:bold;background:#eee}</style></head><body>";
    for (int part = 0; html.size() < bytes; ++part) {
        const std::string n = std::to_string(part);
        html += "<h3>Order " + n +
                " received</h3><p>Customer <b>Jana Example</b> ordered the items below. "
                "Please check the stock and <a href='admin/order.php?id=" +
                n +
                "'>confirm the order</a> "
                "before the end of the day, or <i>contact the customer</i> if anything is missing.</p>"
                "<table><tr><th>Item</th><th>Qty</th><th>Price</th></tr>"
                "<tr><td>Espresso beans, 1 kg</td><td>2</td><td>37.00</td></tr>"
                "<tr><td>Milk frother</td><td>1</td><td>24.90</td></tr>"
                "<tr class=total><td colspan=2>Total</td><td>61.90</td></tr></table>"
                "<ul><li>Delivery: express</li><li>Payment: card</li></ul>";
    }
    return html + "</body></html>";
}

THtmlView* View() {
    static THtmlView* view = [] {
        auto* v = new THtmlView();
        v->SetBorderStyle(TBorderStyle::bsNone);
        v->SetScrollBars(TScrollStyle::ssNone);
        v->resize(640, 480);
        return v;
    }();
    return view;
}

void BM_LoadBuffer(benchmark::State& state) {
    const std::string html = Message(static_cast<size_t>(state.range(0)));
    THtmlView* view = View();
    for (auto _ : state) {
        view->LoadBuffer(html.data(), static_cast<int64_t>(html.size()), "");
        benchmark::DoNotOptimize(view->VerticalRange());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(html.size()));
    state.counters["bytes"] = static_cast<double>(html.size());
}
BENCHMARK(BM_LoadBuffer)->Arg(5 << 10)->Arg(50 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_PaintFullView(benchmark::State& state) {
    const std::string html = Message(50 << 10);
    THtmlView* view = View();
    view->LoadBuffer(html.data(), static_cast<int64_t>(html.size()), "");
    QImage canvas(view->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&canvas);
        view->render(&painter);
    }
}
BENCHMARK(BM_PaintFullView)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
