#include "views/GuiHarness.h"

#include <QCoreApplication>
#include <fstream>
#include <sstream>

namespace kestrin::testing {
namespace {

std::map<std::string, std::string> withHome(std::map<std::string, std::string> environment,
                                            const std::filesystem::path& root) {
    if (!environment.contains("KESTRIN_HOME") && !environment.contains("XDG_DATA_HOME")) {
        environment["KESTRIN_HOME"] = root.string();
    }
    return environment;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

nlohmann::json baseReceipt() {
    using nlohmann::json;
    json step1{{"id", "step-1"},
               {"order", 1},
               {"title", "Restart the service"},
               {"instruction", "Run the command in a terminal."},
               {"kind", "run_command"},
               {"working_directory", "/work/alpha"},
               {"command", "systemctl restart proxy"},
               {"requires_password", false},
               {"success_signal", "The prompt returns without output."},
               {"failure_action", "Copy the error into the note."}};
    json step2{{"id", "step-2"},
               {"order", 2},
               {"title", "Check the page"},
               {"instruction", "Open the status page."},
               {"kind", "verify"},
               {"requires_password", false},
               {"success_signal", "The page is green."},
               {"failure_action", "Describe what you see."}};
    json item{{"id", "item-1"},
              {"title", "Restart the proxy"},
              {"reason", "Only you may restart production services."},
              {"expected_outcome", "The proxy answers again."},
              {"category", "terminal"},
              {"priority", "medium"},
              {"estimated_minutes", 5},
              {"prerequisites", json::array()},
              {"steps", {step1, step2}},
              {"verification",
               {{"instruction", "Load the home page."}, {"success_evidence", "It loads."}}}};
    return json{{"schema_version", "1.0"},
                {"receipt_id", "rc-1"},
                {"version", 1},
                {"created_at", "2026-07-27T08:30:00.000Z"},
                {"updated_at", "2026-07-27T08:30:00.000Z"},
                {"source",
                 {{"agent", "codex"},
                  {"task_title", "Fix the proxy"},
                  {"task_id", "3f2b9c1e-8a47-4d6b-9e21-5c0d7a4b8f13"}}},
                {"project", {{"name", "alpha"}, {"path", "/work/alpha"}}},
                {"state", "waiting_for_user"},
                {"requires_user_action", true},
                {"summary", "The proxy needs a restart."},
                {"items", {item}}};
}

std::string receiptWith(const std::function<void(nlohmann::json&)>& edit) {
    nlohmann::json receipt = baseReceipt();
    edit(receipt);
    return receipt.dump();
}

std::string receiptOf(const std::string& id, const std::string& project,
                      const std::vector<std::string>& titles, const std::string& agent) {
    return receiptWith([&](nlohmann::json& receipt) {
        receipt["receipt_id"] = id;
        receipt["project"]["name"] = project;
        receipt["source"]["agent"] = agent;
        const nlohmann::json item = receipt["items"][0];
        receipt["items"] = nlohmann::json::array();
        for (std::size_t n = 0; n < titles.size(); ++n) {
            nlohmann::json copy = item;
            copy["id"] = "item-" + std::to_string(n + 1);
            copy["title"] = titles[n];
            receipt["items"].push_back(copy);
        }
        receipt["requires_user_action"] = !titles.empty();
    });
}

QStringList texts(std::initializer_list<const char*> utf8) {
    QStringList list;
    for (const char* text : utf8) list << QString::fromUtf8(text);
    return list;
}

std::filesystem::path guiTestData(const std::string& name) {
    return std::filesystem::path(VELMORA_TEST_DATA) / "app" / name;
}

GuiHarness::GuiHarness(std::map<std::string, std::string> environment)
    : root_(std::filesystem::path(directory_.path().toStdString()) / "data"),
      platform_(withHome(std::move(environment), root_)) {
    model_ = std::make_unique<AppModel>(platform_.take());
    window_ = std::make_unique<MainWindow>(*model_, dialogs_);
}

GuiHarness::~GuiHarness() {
    window_.reset();
    model_.reset();
}

std::optional<std::string> GuiHarness::submitJSON(const std::string& json) {
    if (!otherStore_) {
        auto store = SQLiteTaskStore::open(root_ / "tasks.sqlite");
        if (!store) return store.error().description();
        otherStore_ = std::move(store).value();
        otherImporter_ = std::make_unique<ReceiptImporter>(*otherStore_);
    }
    auto outcome = otherImporter_->importData(json);
    if (!outcome) return outcome.error().description();
    return std::nullopt;
}

void GuiHarness::add(const std::string& json) {
    if (auto error = submitJSON(json)) qFatal("receipt refused: %s", error->c_str());
    model_->refresh();
    settle();
}

std::optional<std::string> GuiHarness::submitFile(const std::string& name, bool example) {
    const std::filesystem::path path =
        example ? std::filesystem::path(VELMORA_EXAMPLES) / name : guiTestData(name);
    return submitJSON(readFile(path));
}

void GuiHarness::setStatus(const std::string& taskKey, TaskStatus status,
                           std::optional<Timestamp> snoozedUntil) {
    if (auto done = otherStore_->setStatus(taskKey, status, snoozedUntil); !done) {
        qFatal("setStatus: %s", done.error().description().c_str());
    }
}

void GuiHarness::tickStep(const std::string& taskKey, const std::string& stepID) {
    if (auto done = otherStore_->setStepCompleted(taskKey, stepID, true); !done) {
        qFatal("setStepCompleted: %s", done.error().description().c_str());
    }
}

void GuiHarness::reload() {
    model_->refresh();
    settle();
}

void GuiHarness::settle() {
    for (int round = 0; round < 10; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        if (platform_.deferredCalls->pending.empty()) break;
        platform_.deferredCalls->runPending();
    }
}

const TaskRecord& GuiHarness::task(const std::string& taskKey) {
    for (const TaskRecord& task : model_->tasks()) {
        if (task.taskKey == taskKey) return task;
    }
    qFatal("no task %s", taskKey.c_str());
}

}  // namespace kestrin::testing
