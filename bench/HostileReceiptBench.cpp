// The importer on the costliest receipts it accepts: texts of the largest size
// allowed (8 MiB) built to make the secret scan backtrack, with one typical
// receipt padded to that size for the whole road (scan, decode, validate,
// store). Aim: each answered in well under a second.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/intake/ReceiptImporter.h"

using namespace kestrin;
namespace fs = std::filesystem;

namespace {

struct WorstCase {
    const char* name;
    const char* head;
    const char* unit;  // repeated until the text reaches the size limit
    const char* tail;
};

// The typical receipt stands in for an empty head.
constexpr std::array<WorstCase, 9> kCases{{
    {"long bearer token", R"({"instruction": "Authorization: Bearer )", "abcdefghij", R"("})"},
    {"long password value", R"({"password": ")", "x", R"("})"},
    {"unclosed password value", R"({"password": ")", "x", ""},
    {"GitHub token ending in a letter", R"({"instruction": "ghp_)", "a", "\u00e9\"}"},
    {"API key ending in a letter", R"({"instruction": "sk-)", "a", "\u00e9\"}"},
    {"sk- repeated", R"({"instruction": "see )", "sk-", R"("})"},
    {"escaped sk- repeated", R"({"x": ")", R"(\u0073k-)", R"("})"},
    {"Bearer before spaces", R"("Bearer)", " ", R"(!")"},
    {"typical receipt padded with spaces", "", " ", ""},
}};

std::string typicalReceipt() {
    std::ifstream in(std::string(VELMORA_EXAMPLES) + "/receipt-typical.json");
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string worstCaseText(const WorstCase& worst) {
    std::string text = *worst.head == '\0' ? typicalReceipt() : worst.head;
    const std::string unit = worst.unit;
    const std::size_t tail = std::char_traits<char>::length(worst.tail);
    while (text.size() + unit.size() + tail <= ReceiptImporter::maxReceiptBytes) text += unit;
    return text += worst.tail;
}

void BM_ImportWorstCaseAtSizeLimit(benchmark::State& state) {
    const WorstCase& worst = kCases.at(static_cast<std::size_t>(state.range(0)));
    state.SetLabel(worst.name);
    const std::string text = worstCaseText(worst);

    std::string pattern = (fs::temp_directory_path() / "velmora-hostile-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    {
        auto store = SQLiteTaskStore::open(fs::path(pattern) / "tasks.sqlite");
        if (!store) {
            state.SkipWithError("cannot open the store");
        } else {
            const ReceiptImporter importer(*store.value());
            for (auto _ : state) benchmark::DoNotOptimize(importer.importData(text));
        }
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
}
BENCHMARK(BM_ImportWorstCaseAtSizeLimit)
    ->DenseRange(0, static_cast<int>(kCases.size()) - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
