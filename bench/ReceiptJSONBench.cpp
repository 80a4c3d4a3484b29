#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/receipt/ReceiptJSON.h"

using namespace kestrin;

namespace {

// Three items of four steps, about 9 KB.
const std::string& typicalReceipt() {
    static const std::string text = [] {
        std::ifstream file(VELMORA_EXAMPLES "/receipt-typical.json", std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        if (content.str().empty())
            throw std::runtime_error("examples/receipt-typical.json missing");
        return content.str();
    }();
    return text;
}

// The typical receipt with its items repeated until the text passes 1 MiB.
const std::string& largeReceipt() {
    static const std::string text = [] {
        auto document = nlohmann::json::parse(typicalReceipt());
        const auto items = document["items"];
        for (int copy = 0; document.dump(2).size() < (1u << 20); ++copy) {
            for (auto item : items) {
                item["id"] = item["id"].get<std::string>() + "-" + std::to_string(copy);
                document["items"].push_back(item);
            }
        }
        return document.dump(2);
    }();
    return text;
}

void decode(benchmark::State& state, const std::string& text) {
    const auto decoder = ReceiptJSON::makeDecoder();
    for (auto _ : state) {
        auto receipt = decoder.decodeReceipt(text);
        if (!receipt) state.SkipWithError(receipt.error().message().c_str());
        benchmark::DoNotOptimize(receipt);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_DecodeTypicalReceipt(benchmark::State& state) {
    decode(state, typicalReceipt());
}
BENCHMARK(BM_DecodeTypicalReceipt)->Unit(benchmark::kMicrosecond);

void BM_DecodeLargeReceipt(benchmark::State& state) {
    decode(state, largeReceipt());
}
BENCHMARK(BM_DecodeLargeReceipt)->Unit(benchmark::kMillisecond);

void BM_EncodeTypicalReceipt(benchmark::State& state) {
    const auto receipt = ReceiptJSON::makeDecoder().decodeReceipt(typicalReceipt()).value();
    const auto encoder = ReceiptJSON::makeEncoder();
    for (auto _ : state) benchmark::DoNotOptimize(encoder.encode(receipt));
}
BENCHMARK(BM_EncodeTypicalReceipt)->Unit(benchmark::kMicrosecond);

}  // namespace
