// The 3-second refresh tick of the app model over 10,000 tasks: with nothing
// changed (it must not reload) and after one task changed in another process.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "app/model/AppModel.h"
#include "core/intake/ReceiptImporter.h"
#include "fakes/FakePlatform.h"

using namespace kestrin;

namespace {

constexpr int receiptCount = 1000;
constexpr int itemsPerReceipt = 10;

std::string receipt(int number) {
    nlohmann::json items = nlohmann::json::array();
    for (int i = 0; i < itemsPerReceipt; ++i) {
        items.push_back(
            {{"id", "item-" + std::to_string(i)},
             {"title", "Item " + std::to_string(i) + " of receipt " + std::to_string(number)},
             {"reason", "The agent cannot do this itself."},
             {"expected_outcome", "Done."},
             {"category", "terminal"},
             {"priority", i % 2 == 0 ? "high" : "medium"},
             {"estimated_minutes", 5},
             {"prerequisites", nlohmann::json::array()},
             {"steps",
              {{{"id", "step-1"},
                {"order", 1},
                {"title", "Run the command"},
                {"instruction", "Run it in the project directory."},
                {"kind", "run_command"},
                {"command", "make install"},
                {"requires_password", false},
                {"success_signal", "Exit status 0."},
                {"failure_action", "Paste the output to the agent."}}}},
             {"verification",
              {{"instruction", "Run make check."}, {"success_evidence", "Green."}}}});
    }
    nlohmann::json document{
        {"schema_version", "1.0"},
        {"receipt_id", "rc-" + std::to_string(number)},
        {"version", 1},
        {"created_at", "2026-07-27T08:30:00.000Z"},
        {"updated_at", "2026-07-27T08:30:00.000Z"},
        {"source", {{"agent", "codex"}, {"task_title", "Nightly build"}}},
        {"project", {{"name", "project-" + std::to_string(number % 20)}, {"path", "/work/p"}}},
        {"state", "waiting_for_user"},
        {"requires_user_action", true},
        {"summary", "Needs the user."},
        {"items", std::move(items)}};
    return document.dump();
}

// One data directory with 10,000 tasks, a model over it, and a second store
// that plays the MCP server.
struct LargeStore {
    LargeStore() : platform({{"KESTRIN_HOME", directory.path().toStdString()}}) {
        auto opened = SQLiteTaskStore::open(directory.path().toStdString() + "/tasks.sqlite");
        other = std::move(opened).value();
        ReceiptImporter importer(*other);
        for (int n = 0; n < receiptCount; ++n) {
            if (!importer.importData(receipt(n))) std::abort();
        }
        model = std::make_unique<AppModel>(platform.take());
        if (model->tasks().size() != receiptCount * itemsPerReceipt) std::abort();
    }

    QTemporaryDir directory;
    FakePlatform platform;
    std::unique_ptr<SQLiteTaskStore> other;
    std::unique_ptr<AppModel> model;
};

LargeStore& largeStore() {
    static LargeStore store;
    return store;
}

void BM_RefreshTickUnchanged(benchmark::State& state) {
    LargeStore& store = largeStore();
    for (auto _ : state) store.model->refresh();
    state.counters["tasks"] = double(store.model->tasks().size());
}
BENCHMARK(BM_RefreshTickUnchanged)->Unit(benchmark::kMicrosecond)->Repetitions(5);

void BM_RefreshAfterOneChange(benchmark::State& state) {
    LargeStore& store = largeStore();
    bool waiting = false;
    for (auto _ : state) {
        state.PauseTiming();
        waiting = !waiting;
        if (!store.other->setStatus("rc-7::item-3",
                                    waiting ? TaskStatus::waitingExternal : TaskStatus::pending,
                                    std::nullopt)) {
            std::abort();
        }
        state.ResumeTiming();
        store.model->refresh();
    }
}
BENCHMARK(BM_RefreshAfterOneChange)->Unit(benchmark::kMillisecond)->Repetitions(5);

// The floor under a reload: the store's own listing of the 10,000 tasks.
void BM_StoreListingFloor(benchmark::State& state) {
    LargeStore& store = largeStore();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.other->listTasks(true, currentTimestamp()));
    }
}
BENCHMARK(BM_StoreListingFloor)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace
