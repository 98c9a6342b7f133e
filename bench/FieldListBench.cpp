// Field-list decoding and form encoding on 1 MiB, beside a plain copy of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "exchange/UtilsUnit.h"

namespace {

constexpr size_t kMiB = 1 << 20;

// A message body shaped like a poll answer: the usual fields, then a 1 MiB HTML message.
std::string MessageAnswer() {
    std::string html;
    while (html.size() < kMiB) html += "<tr><td>Order line</td><td>12.50 EUR</td></tr>\r\n";
    html.resize(kMiB);
    auto field = [](const std::string& text) {
        std::string length = std::to_string(text.size());
        return std::string(7 - length.size(), '0') + length + text;
    };
    return "7" + field("Index") + field("42") + field("Header") + field("New order") + field("Title") +
           field("Order 42") + field("Message") + field(html);
}

std::string MixedBytes() {
    std::mt19937 random(7);
    std::string bytes(kMiB, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

void BM_Memcpy(benchmark::State& state) {
    const std::string source = MessageAnswer();
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source.size()));
}

void BM_ParseFieldList(benchmark::State& state) {
    const std::string answer = MessageAnswer();
    for (auto _ : state) {
        TStringArray strings = ParseFieldList(answer);
        benchmark::DoNotOptimize(strings.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answer.size()));
}

void BM_FormEncode(benchmark::State& state) {
    const std::string bytes = MixedBytes();
    for (auto _ : state) {
        std::string encoded = FormEncode(bytes);
        benchmark::DoNotOptimize(encoded.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_ParseFieldList);
BENCHMARK(BM_FormEncode);
BENCHMARK_MAIN();
