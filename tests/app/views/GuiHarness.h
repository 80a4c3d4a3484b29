#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/model/AppModel.h"
#include "app/views/MainWindow.h"
#include "core/intake/ReceiptImporter.h"
#include "core/store/SQLiteTaskStore.h"
#include "fakes/FakePlatform.h"
#include "views/FakeViewDialogs.h"

namespace kestrin::testing {

// A model over a fresh KESTRIN_HOME, its window under a QApplication, and a
// second store on the database that plays the MCP server.
class GuiHarness {
public:
    explicit GuiHarness(std::map<std::string, std::string> environment = {});

    AppModel& model() { return *model_; }
    FakePlatform& platform() { return platform_; }
    FakeViewDialogs& dialogs() { return dialogs_; }
    MainWindow& window() { return *window_; }
    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path inbox() const { return root_ / "inbox"; }
    std::filesystem::path database() const { return root_ / "tasks.sqlite"; }

    SQLiteTaskStore& otherStore();
    // Imports through the other "process": the error text, or nothing.
    std::optional<std::string> submit(const std::string& json);
    // submit() (fails hard when refused), then reload().
    void add(const std::string& json);
    void setStatus(const std::string& key, TaskStatus status,
                   std::optional<Timestamp> snoozedUntil = std::nullopt);
    void tickStep(const std::string& key, const std::string& stepID);
    // Ticks step-1 and step-2 (the base receipt's), then reload(): ready to hand back.
    void tickBothSteps(const std::string& key);
    // Runs one SQL text on its own connection (to damage rows on purpose).
    void executeSQL(const std::string& sql);

    // Shows the window and waits until it is the active one.
    bool showActive();
    void reload();
    // Turns the event loops until nothing is pending.
    void settle();
    void turn() { platform_.deferredCalls->runPending(); }
    const TaskRecord& task(const std::string& key);
    std::vector<std::string> visibleKeys();

private:
    QTemporaryDir directory_;
    std::filesystem::path root_;
    FakePlatform platform_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<SQLiteTaskStore> otherStore_;
    std::unique_ptr<ReceiptImporter> otherImporter_;
    FakeViewDialogs dialogs_;
    std::unique_ptr<MainWindow> window_;
};

// "rc-1" of a Codex thread, "alpha": item-1 with step-1 (a command) and step-2.
nlohmann::json baseReceipt();
std::string receiptWith(const std::function<void(nlohmann::json&)>& edit);
// Receipt `id` of `project` with one item per title (ids "item-1", ...).
std::string receiptOf(const std::string& id, const std::string& project,
                      const std::vector<std::string>& titles, const std::string& agent = "codex");

QString qs(const std::string& text);
// "title | message" of the model's pending notice, empty without one.
QString notice(GuiHarness& harness);
QStringList texts(std::initializer_list<const char*> utf8);
// Fails for each of `expected` no object under `root` shows in any text property.
void verifyShown(const QObject& root, const QStringList& expected);
std::filesystem::path guiTestData(const std::string& name);
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

}  // namespace kestrin::testing
