// Archive export and restore at the size of a long-used database: 10,000
// receipts with two items each (20,000 tasks), a third of the tasks with a
// ticked step and a quarter snoozed.
//
// ArchiveExport10k writes the pretty archive of that database (aim: under
// 1 s). ArchiveRestore10kIntoEmpty restores that archive into an empty
// database, so every receipt is checked, imported into the staging copy and
// swapped in (aim: under 15 s); ArchiveRestore10kOntoSame restores it onto a
// copy of the database it came from, where every receipt is a duplicate.
// SQLite runs with its default durable settings (WAL, synchronous FULL).
//
//   core_bench --benchmark_filter=Archive --benchmark_repetitions=5

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/tools/TestReceipts.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/archive/TaskArchiveManager.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;

namespace {

constexpr int receiptCount = 10'000;

// A fresh directory, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = fs::temp_directory_path() / "velmora-archive-bench-XXXXXX";
        if (mkdtemp(pattern.data())) path = pattern;
    }
    ~ScratchDirectory() { fs::remove_all(path); }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    fs::path path;
};

InterventionReceipt benchReceipt(int index) {
    return makeReceipt("bench-" + std::to_string(index), 1,
                       {makeItem("item-a", TaskPriority::high, {"step-1", "step-2", "step-3"}),
                        makeItem("item-b", TaskPriority::medium, {"step-1", "step-2"})});
}

// The database every benchmark starts from, built once, and its archive.
struct Corpus {
    ScratchDirectory scratch;
    AppPaths paths{scratch.path / "source"};
    std::unique_ptr<SQLiteTaskStore> store;
    std::string archive;

    Corpus() {
        store = std::move(SQLiteTaskStore::open(paths.database())).value();
        for (int i = 0; i < receiptCount; ++i) {
            const auto receipt = benchReceipt(i);
            const auto raw = rawJSON(receipt);
            (void)store->importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
        }
        sqlite3* db = nullptr;
        sqlite3_open(paths.database().c_str(), &db);
        sqlite3_busy_timeout(db, 2000);
        sqlite3_exec(db,
                     "BEGIN; "
                     "INSERT INTO step_progress SELECT task_key, 'step-1', "
                     "'2026-07-27T08:30:00.000Z' FROM tasks WHERE rowid % 3 = 0; "
                     "UPDATE tasks SET status = 'in_progress' WHERE rowid % 3 = 0; "
                     "UPDATE tasks SET status = 'snoozed', snoozed_until = "
                     "'2030-01-01T00:00:00.000Z' WHERE rowid % 4 = 1; COMMIT;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        archive = TaskArchiveManager(*store, paths).exportData(true).value();
    }
};

Corpus& corpus() {
    static Corpus instance;
    return instance;
}

void ArchiveExport10k(benchmark::State& state) {
    auto& source = corpus();
    TaskArchiveManager manager(*source.store, source.paths);
    for (auto _ : state) {
        auto bytes = manager.exportData(true);
        if (!bytes) state.SkipWithError(bytes.error().description().c_str());
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["archive_MiB"] = double(source.archive.size()) / (1024 * 1024);
}
BENCHMARK(ArchiveExport10k)->Unit(benchmark::kMillisecond)->UseRealTime();

// Restores the corpus archive into the database `prepare` makes in a fresh
// directory, once per iteration.
template <typename Prepare>
void restoreInto(benchmark::State& state, Prepare prepare) {
    const std::string& archive = corpus().archive;
    for (auto _ : state) {
        state.PauseTiming();
        auto scratch = std::make_unique<ScratchDirectory>();
        const AppPaths paths(scratch->path / "live");
        prepare(paths);
        auto store = std::move(SQLiteTaskStore::open(paths.database())).value();
        TaskArchiveManager manager(*store, paths);
        state.ResumeTiming();

        auto restored = manager.restoreData(archive);

        state.PauseTiming();
        if (!restored) state.SkipWithError(restored.error().description().c_str());
        store.reset();
        scratch.reset();
        state.ResumeTiming();
    }
}

void ArchiveRestore10kIntoEmpty(benchmark::State& state) {
    restoreInto(state, [](const AppPaths&) {});
}
BENCHMARK(ArchiveRestore10kIntoEmpty)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void ArchiveRestore10kOntoSame(benchmark::State& state) {
    restoreInto(state,
                [](const AppPaths& paths) { (void)corpus().store->backup(paths.database()); });
}
BENCHMARK(ArchiveRestore10kOntoSame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
