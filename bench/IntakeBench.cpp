// One inbox pass over 1,000 receipt files, each a distinct copy of the typical three-item receipt,
// into a fresh database with SQLite's default durable settings: every file is
// read, scanned, decoded, validated, stored in its own transaction and moved.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/intake/InboxScanner.h"

using namespace kestrin;
namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 1000;

std::string receiptTemplate() {
    std::ifstream in(std::string(VELMORA_EXAMPLES) + "/receipt-typical.json");
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void BM_InboxPass(benchmark::State& state) {
    const nlohmann::json base = nlohmann::json::parse(receiptTemplate());
    for (auto _ : state) {
        state.PauseTiming();
        std::string pattern = (fs::temp_directory_path() / "velmora-intake-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            state.SkipWithError("mkdtemp failed");
            break;
        }
        const AppPaths paths{fs::path(pattern)};
        auto store = SQLiteTaskStore::open(paths.database());
        if (!store || !paths.ensureDirectories()) {
            state.SkipWithError("cannot prepare the data directory");
            break;
        }
        for (int i = 0; i < kFiles; ++i) {
            nlohmann::json receipt = base;
            receipt["receipt_id"] = "rc-bench-" + std::to_string(i);
            std::ofstream(paths.inbox() / ("receipt-" + std::to_string(i) + ".json"))
                << receipt.dump(2);
        }
        const ReceiptImporter importer(*store.value());
        const InboxScanner scanner(paths, importer);
        state.ResumeTiming();

        auto events = scanner.scanOnce();

        state.PauseTiming();
        if (!events || events->size() != kFiles ||
            events->back().result.kind != InboxScanEvent::Result::Kind::accepted) {
            state.SkipWithError("the pass did not accept every file");
        }
        store.value().reset();
        fs::remove_all(paths.root());
        state.ResumeTiming();
    }
    state.counters["files_per_second"] = benchmark::Counter(
        static_cast<double>(kFiles), benchmark::Counter::kIsIterationInvariantRate);
}

// The floor under any pass that stores each file in its own durable
// transaction: 1,000 one-row commits to a WAL database with SQLite's default
// settings, straight through the C interface.
void BM_DurableCommitFloor(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::string pattern = (fs::temp_directory_path() / "velmora-floor-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            state.SkipWithError("mkdtemp failed");
            break;
        }
        sqlite3* db = nullptr;
        sqlite3_open((fs::path(pattern) / "floor.sqlite").c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode = WAL; CREATE TABLE t (v TEXT);", nullptr, nullptr,
                     nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t VALUES ('receipt');", -1, &insert, nullptr);
        state.ResumeTiming();

        for (int i = 0; i < kFiles; ++i) {
            sqlite3_exec(db, "BEGIN IMMEDIATE TRANSACTION;", nullptr, nullptr, nullptr);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
        }

        state.PauseTiming();
        sqlite3_finalize(insert);
        sqlite3_close(db);
        fs::remove_all(pattern);
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BM_DurableCommitFloor)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

BENCHMARK(BM_InboxPass)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
