#include "gui/GuiHarness.h"

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
