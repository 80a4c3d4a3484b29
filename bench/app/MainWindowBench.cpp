// The window over 10,000 tasks: start-up (model, window, first paint), the
// 3-second scan tick with nothing new and after one change by another process,
// and one keystroke in the search field. Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "app/model/AppModel.h"
#include "app/views/MainWindow.h"
#include "core/intake/ReceiptImporter.h"
#include "fakes/FakePlatform.h"
#include "views/FakeViewDialogs.h"

using namespace kestrin;

namespace {

constexpr int receiptCount = 1000;
constexpr int itemsPerReceipt = 10;

// Receipt `number` with ten items of two steps, in one of 25 projects, with
// Chinese texts of a realistic length.
std::string receipt(int number) {
    nlohmann::json items = nlohmann::json::array();
    for (int i = 0; i < itemsPerReceipt; ++i) {
        nlohmann::json command{{"id", "step-1"},
                               {"order", 1},
                               {"title", "在终端运行迁移命令"},
                               {"instruction", "在项目目录中运行下面的命令，按提示确认。"},
                               {"kind", "run_command"},
                               {"working_directory", "/Users/lin/work/service"},
                               {"command", "scripts/migrate --apply --confirm"},
                               {"requires_password", false},
                               {"success_signal", "终端输出 migration complete。"},
                               {"failure_action", "把最后三行输出复制到回传消息中。"}};
        nlohmann::json check = command;
        check.update({{"id", "step-2"}, {"order", 2}, {"kind", "verify"}});
        check.erase("command");
        items.push_back(
            {{"id", "item-" + std::to_string(i)},
             {"title", "第 " + std::to_string(number) + " 号回执的第 " + std::to_string(i) + " 项"},
             {"reason", "授权需要本人的云控制台登录和二次验证，Agent 无法代为完成。"},
             {"expected_outcome", "迁移账号可以连接只读副本。"},
             {"category", i % 3 == 0 ? "permission" : "terminal"},
             {"priority", i % 2 == 0 ? "high" : "medium"},
             {"estimated_minutes", 5},
             {"prerequisites", {"云控制台管理员账号"}},
             {"steps", {command, check}},
             {"verification",
              {{"instruction", "确认命令返回 0。"}, {"success_evidence", "终端输出 (1 row)。"}}}});
    }
    nlohmann::json document{
        {"schema_version", "1.0"},
        {"receipt_id", "rc-" + std::to_string(number)},
        {"version", 1},
        {"created_at", "2026-07-27T08:30:00.000Z"},
        {"updated_at", "2026-07-27T08:30:00.000Z"},
        {"source", {{"agent", "codex"}, {"task_title", "迁移账单服务到 PostgreSQL 16"}}},
        {"project", {{"name", "project-" + std::to_string(number % 25)}, {"path", "/work/p"}}},
        {"state", "waiting_for_user"},
        {"requires_user_action", true},
        {"summary", "数据库迁移脚本已写好，需要本人授权。"},
        {"items", std::move(items)}};
    return document.dump();
}

// One data directory with 10,000 tasks and a second store that plays the MCP
// server. Windows are built over it on demand.
struct LargeStore {
    LargeStore() {
        auto opened = SQLiteTaskStore::open(directory.path().toStdString() + "/tasks.sqlite");
        if (!opened) std::abort();
        other = std::move(opened).value();
        ReceiptImporter importer(*other);
        for (int n = 0; n < receiptCount; ++n) {
            if (!importer.importData(receipt(n))) std::abort();
        }
    }

    std::map<std::string, std::string> environment() const {
        return {{"KESTRIN_HOME", directory.path().toStdString()}};
    }

    QTemporaryDir directory;
    std::unique_ptr<SQLiteTaskStore> other;
};

LargeStore& largeStore() {
    static LargeStore store;
    return store;
}

// A model and its shown window over the large store.
struct ShownWindow {
    explicit ShownWindow(const LargeStore& store) : platform(store.environment()) {
        model = std::make_unique<AppModel>(platform.take());
        window = std::make_unique<MainWindow>(*model, dialogs);
        window->show();
        QApplication::processEvents();
        if (model->tasks().size() != receiptCount * itemsPerReceipt) std::abort();
    }
    ~ShownWindow() {
        window.reset();
        model.reset();
    }

    FakePlatform platform;
    FakeViewDialogs dialogs;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainWindow> window;
};

// From nothing to a painted window: open the store, list the tasks, build the
// views, show and paint them.
void BM_WindowStartUp(benchmark::State& state) {
    LargeStore& store = largeStore();
    std::optional<ShownWindow> shown;
    for (auto _ : state) {
        shown.emplace(store);
        shown->window->repaint();
        // Tearing down is not part of starting up.
        state.PauseTiming();
        shown.reset();
        state.ResumeTiming();
    }
}

// The timer's tick when nothing changed: no reload, no redraw.
void BM_ScanTickUnchanged(benchmark::State& state) {
    ShownWindow shown(largeStore());
    for (auto _ : state) {
        shown.model->scanTimerFired();
        QApplication::processEvents();
    }
}

// The tick after another process changed one task: reload and every view
// brought up to date, then painted.
void BM_ScanTickAfterOneChange(benchmark::State& state) {
    LargeStore& store = largeStore();
    ShownWindow shown(store);
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
        shown.model->scanTimerFired();
        shown.window->repaint();
    }
}

// One keystroke in the search field narrows the 10,000 rows.
void BM_SearchKeystroke(benchmark::State& state) {
    ShownWindow shown(largeStore());
    bool narrow = false;
    for (auto _ : state) {
        narrow = !narrow;
        shown.model->setSearchText(narrow ? QStringLiteral("7 号") : QString());
        shown.window->repaint();
    }
}

}  // namespace

BENCHMARK(BM_WindowStartUp)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
BENCHMARK(BM_ScanTickUnchanged)->Unit(benchmark::kMicrosecond)->Repetitions(3);
BENCHMARK(BM_ScanTickAfterOneChange)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->Repetitions(3);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
