#include "views/GuiHarness.h"

#include <sqlite3.h>

#include <QApplication>
#include <QTest>
#include <fstream>

namespace kestrin::testing {

nlohmann::json baseReceipt() {
    return nlohmann::json::parse(readFile(guiTestData("base-receipt.json")));
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

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QString notice(GuiHarness& harness) {
    const auto& shown = harness.model().notice();
    return shown ? shown->title + QStringLiteral(" | ") + shown->message : QString();
}

QStringList texts(std::initializer_list<const char*> utf8) {
    QStringList list;
    for (const char* text : utf8) list << QString::fromUtf8(text);
    return list;
}

void verifyShown(const QObject& root, const QStringList& expected) {
    QStringList shown;
    for (const QObject* object : root.findChildren<QObject*>()) {
        for (const char* name : {"text", "title", "toolTip", "placeholderText", "accessibleName",
                                 "accessibleDescription"}) {
            if (const QVariant value = object->property(name); value.typeId() == QMetaType::QString)
                shown << value.toString();
        }
    }
    const QString all = shown.join(u'\n');
    for (const QString& text : expected) QVERIFY2(all.contains(text), qPrintable(text));
}

std::filesystem::path guiTestData(const std::string& name) {
    return std::filesystem::path(VELMORA_TEST_DATA) / "app" / name;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

GuiHarness::GuiHarness(std::map<std::string, std::string> environment)
    : root_(std::filesystem::path(directory_.path().toStdString()) / "data"), platform_([&] {
          if (!environment.contains("KESTRIN_HOME") && !environment.contains("XDG_DATA_HOME")) {
              environment["KESTRIN_HOME"] = root_.string();
          }
          return environment;
      }()) {
    model_ = std::make_unique<AppModel>(platform_.take());
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        window_ = std::make_unique<MainWindow>(*model_, dialogs_);
    }
}

SQLiteTaskStore& GuiHarness::otherStore() {
    if (!otherStore_) {
        auto store = SQLiteTaskStore::open(database());
        if (!store) qFatal("second store: %s", store.error().description().c_str());
        otherStore_ = std::move(store).value();
        otherImporter_ = std::make_unique<ReceiptImporter>(*otherStore_);
    }
    return *otherStore_;
}

std::optional<std::string> GuiHarness::submit(const std::string& json) {
    otherStore();
    auto outcome = otherImporter_->importData(json);
    if (!outcome) return outcome.error().description();
    return std::nullopt;
}

void GuiHarness::add(const std::string& json) {
    if (auto error = submit(json)) qFatal("receipt refused: %s", error->c_str());
    reload();
}

void GuiHarness::setStatus(const std::string& key, TaskStatus status,
                           std::optional<Timestamp> snoozedUntil) {
    if (auto done = otherStore().setStatus(key, status, snoozedUntil); !done) {
        qFatal("setStatus: %s", done.error().description().c_str());
    }
}

void GuiHarness::tickStep(const std::string& key, const std::string& stepID) {
    if (auto done = otherStore().setStepCompleted(key, stepID, true); !done) {
        qFatal("setStepCompleted: %s", done.error().description().c_str());
    }
}

void GuiHarness::tickBothSteps(const std::string& key) {
    tickStep(key, "step-1");
    tickStep(key, "step-2");
    reload();
}

void GuiHarness::executeSQL(const std::string& sql) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(database().c_str(), &db), SQLITE_OK);
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(result, SQLITE_OK);
}

bool GuiHarness::showActive() {
    window_->show();
    QApplication::setActiveWindow(window_.get());
    return QTest::qWaitForWindowActive(window_.get());
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
        turn();
    }
}

const TaskRecord& GuiHarness::task(const std::string& key) {
    for (const TaskRecord& task : model_->tasks()) {
        if (task.taskKey == key) return task;
    }
    for (const TaskRecord* task : model_->visibleTasks()) {
        if (task->taskKey == key) return *task;
    }
    qFatal("no task %s", key.c_str());
}

std::vector<std::string> GuiHarness::visibleKeys() {
    std::vector<std::string> keys;
    for (const TaskRecord* task : model_->visibleTasks()) keys.push_back(task->taskKey);
    return keys;
}

}  // namespace kestrin::testing
