#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "tools/StoreFixture.h"
#include "core/intake/InboxScanner.h"

using namespace kestrin;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& location) {
    std::ifstream in(location, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& location, const std::string& content) {
    std::ofstream(location, std::ios::binary) << content;
}

std::string receipt(const std::string& receiptID) {
    json document =
        json::parse(readFile(std::string(VELMORA_TEST_DATA) + "/intake/deploy-v1.json"));
    document["receipt_id"] = receiptID;
    return document.dump();
}

std::vector<std::string> namesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A file system whose moves, reads and writes can be made to fail, or can run
// something first, for chosen locations.
class FaultyFileSystem : public FileSystem {
public:
    std::function<std::optional<std::errc>(const fs::path& from, const fs::path& to)> onMove;
    std::function<std::optional<std::errc>(const fs::path&)> onRead;
    std::function<std::optional<std::errc>(const fs::path&)> onWrite;
    std::optional<std::errc> createFailure;
    std::optional<std::errc> listFailure;

    Result<void, FileError> createDirectories(const fs::path& directory) override {
        if (createFailure) {
            return fail(FileError::fromCode(FileError::Kind::createDirectory, directory,
                                            std::make_error_code(*createFailure)));
        }
        return FileSystem::createDirectories(directory);
    }
    Result<std::vector<std::string>, FileError> listVisibleEntries(const fs::path& dir) override {
        if (listFailure) {
            return fail(FileError::fromCode(FileError::Kind::listDirectory, dir,
                                            std::make_error_code(*listFailure)));
        }
        return FileSystem::listVisibleEntries(dir);
    }
    Result<std::string, FileError> readFile(const fs::path& location) override {
        if (onRead) {
            if (auto code = onRead(location)) {
                return fail(FileError::fromCode(FileError::Kind::readFile, location,
                                                std::make_error_code(*code)));
            }
        }
        return FileSystem::readFile(location);
    }
    Result<void, FileError> writeFileAtomically(const fs::path& location,
                                                std::string_view content) override {
        if (onWrite) {
            if (auto code = onWrite(location)) {
                return fail(FileError::fromCode(FileError::Kind::writeFile, location,
                                                std::make_error_code(*code)));
            }
        }
        return FileSystem::writeFileAtomically(location, content);
    }
    Result<void, FileError> moveItem(const fs::path& from, const fs::path& to) override {
        if (onMove) {
            if (auto code = onMove(from, to)) {
                return fail(FileError::fromCode(FileError::Kind::moveItem, from,
                                                std::make_error_code(*code), to));
            }
        }
        return FileSystem::moveItem(from, to);
    }
};

// 2026-07-27T08:30:00Z: the second count every suffix in these tests uses.
constexpr std::int64_t kNowSeconds = 1785141000;

// The data directory is the store fixture's directory, whose "tasks.sqlite"
// is the store under test.
class InboxScannerTest : public kestrin::testing::StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        paths = AppPaths(directory);
        ASSERT_EQ(paths.database(), databasePath);
        importer.emplace(*store);
        scanner.emplace(paths, *importer, files,
                        [] { return Timestamp(std::chrono::seconds(kNowSeconds)); });
        ASSERT_TRUE(paths.ensureDirectories());
    }

    std::vector<InboxScanEvent> scan() {
        auto events = scanner->scanOnce();
        EXPECT_TRUE(events) << events.error().description();
        return events ? events.value() : std::vector<InboxScanEvent>{};
    }

    void drop(const std::string& name, const std::string& content) {
        writeFile(paths.inbox() / name, content);
    }

    // Drops one file and runs a pass, which must yield exactly its event.
    InboxScanEvent dropAndScan(const std::string& name, const std::string& content) {
        drop(name, content);
        auto events = scan();
        EXPECT_EQ(events.size(), 1u);
        return events.empty() ? InboxScanEvent{} : events.front();
    }

    AppPaths paths{"/"};
    FaultyFileSystem files;
    std::optional<ReceiptImporter> importer;
    std::optional<InboxScanner> scanner;
};

const std::string kNotUTF8 = "回执必须是 UTF-8 JSON 文本。";

}  // namespace

TEST_F(InboxScannerTest, TakesOnlyVisibleJSONFilesAndLeavesTheRest) {
    EXPECT_TRUE(scan().empty());
    for (const char* name :
         {".hidden.json", "notes.txt", "x.json.txt", "json", "y.jsonl", "z.json."}) {
        drop(name, "not json");
    }
    fs::create_directory(paths.inbox() / "nested");
    drop("nested/inner.json", receipt("rc-nested"));
    EXPECT_TRUE(scan().empty());
    EXPECT_EQ(namesIn(paths.inbox()),
              (std::vector<std::string>{".hidden.json", "json", "nested", "notes.txt", "x.json.txt",
                                        "y.jsonl", "z.json."}));
    EXPECT_TRUE(namesIn(paths.processed()).empty());
    EXPECT_TRUE(namesIn(paths.rejected()).empty());
}

TEST_F(InboxScannerTest, HandlesFilesInByteOrderOfTheirNames) {
    drop("b.json", receipt("rc-b"));
    drop("a.json", receipt("rc-a-lower"));
    drop("A.json", receipt("rc-a-upper"));
    drop("C.JSON", receipt("rc-c"));
    const auto events = scan();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].filename, "A.json");
    EXPECT_EQ(events[1].filename, "C.JSON");
    EXPECT_EQ(events[2].filename, "a.json");
    EXPECT_EQ(events[3].filename, "b.json");
    for (const auto& event : events) {
        EXPECT_EQ(event.result.kind, InboxScanEvent::Result::Kind::accepted) << event.filename;
    }
    EXPECT_EQ(events[0].result.outcome->receipt.receiptId, "rc-a-upper");
    EXPECT_EQ(events[0].result.outcome->userMessage(), "已导入 2 个人工介入事项。");
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
    EXPECT_EQ(namesIn(paths.processed()),
              (std::vector<std::string>{"A.json", "C.JSON", "a.json", "b.json"}));
}

TEST_F(InboxScannerTest, SuffixesANameAlreadyTakenInTheTarget) {
    const std::string seconds = std::to_string(kNowSeconds);
    dropAndScan("report.json", receipt("rc-report"));
    const InboxScanEvent second = dropAndScan("report.json", receipt("rc-report"));
    EXPECT_EQ(second.filename, "report.json");
    ASSERT_EQ(second.result.kind, InboxScanEvent::Result::Kind::accepted);
    EXPECT_EQ(second.result.outcome->result, StoreImportResult::duplicate());
    EXPECT_TRUE(fs::exists(paths.processed() / ("report-" + seconds + ".json")));

    // Within the same second, the third gets a random upper-case UUID.
    dropAndScan("report.json", receipt("rc-report"));
    // The UUID may start with a digit, so it can sort on either side of the
    // seconds suffix: find it by elimination.
    auto names = namesIn(paths.processed());
    ASSERT_EQ(names.size(), 3u);
    std::erase(names, "report-" + seconds + ".json");
    std::erase(names, "report.json");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        names[0], std::regex("report-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
                             "[0-9A-F]{12}\\.json")))
        << names[0];

    // A renamed file always ends in ".json", whatever the case it came with.
    dropAndScan("x.JSON", receipt("rc-x"));
    EXPECT_EQ(dropAndScan("x.JSON", receipt("rc-x")).filename, "x.JSON");
    EXPECT_TRUE(fs::exists(paths.processed() / "x.JSON"));
    EXPECT_TRUE(fs::exists(paths.processed() / ("x-" + seconds + ".json")));
}

TEST_F(InboxScannerTest, RefusedFilesGoToRejectedWithAReasonFile) {
    EXPECT_EQ(dropAndScan("deploy.json", "\xE9t\xE9"),
              (InboxScanEvent{"deploy.json", InboxScanEvent::Result::rejected(kNotUTF8)}));
    EXPECT_EQ(readFile(paths.rejected() / "deploy.reason.txt"), kNotUTF8);
    EXPECT_EQ(readFile(paths.rejected() / "deploy.json"), "\xE9t\xE9");

    // A second refusal of that name: the JSON file is suffixed, the reason
    // file replaced.
    const InboxScanEvent second = dropAndScan("deploy.json", "{ not json");
    EXPECT_EQ(second.result.kind, InboxScanEvent::Result::Kind::rejected);
    EXPECT_TRUE(second.result.reason.starts_with("回执 JSON 无法解析："));
    EXPECT_EQ(readFile(paths.rejected() / "deploy.reason.txt"), second.result.reason);
    EXPECT_EQ(namesIn(paths.rejected()),
              (std::vector<std::string>{"deploy-" + std::to_string(kNowSeconds) + ".json",
                                        "deploy.json", "deploy.reason.txt"}));
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
}

TEST_F(InboxScannerTest, AFailedMoveToProcessedKeepsTheFileForTheNextPass) {
    files.onMove = [&](const fs::path&, const fs::path& to) -> std::optional<std::errc> {
        if (to.parent_path() == paths.processed()) return std::errc::read_only_file_system;
        return std::nullopt;
    };
    const InboxScanEvent first = dropAndScan("a.json", receipt("rc-a"));
    ASSERT_EQ(first.result.kind, InboxScanEvent::Result::Kind::acceptedButArchivingFailed);
    EXPECT_EQ(first.result.reason, "无法将 " + (paths.inbox() / "a.json").string() + " 移动到 " +
                                       (paths.processed() / "a.json").string() +
                                       "：Read-only file system");
    EXPECT_EQ(first.result.outcome->result, StoreImportResult::inserted(2));
    EXPECT_EQ(namesIn(paths.inbox()), std::vector<std::string>{"a.json"});

    // The next pass imports it again, as a duplicate, and archives it.
    files.onMove = nullptr;
    auto second = scan();
    ASSERT_EQ(second.size(), 1u);
    ASSERT_EQ(second[0].result.kind, InboxScanEvent::Result::Kind::accepted);
    EXPECT_EQ(second[0].result.outcome->result, StoreImportResult::duplicate());
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
}

TEST_F(InboxScannerTest, AFailedMoveToRejectedIsAddedToTheReason) {
    files.onMove = [](const fs::path&, const fs::path&) -> std::optional<std::errc> {
        return std::errc::permission_denied;
    };
    EXPECT_EQ(dropAndScan("bad.json", "\xFF").result,
              InboxScanEvent::Result::rejected(
                  kNotUTF8 + "（此外，移动到 rejected 目录也失败：无法将 " +
                  (paths.inbox() / "bad.json").string() + " 移动到 " +
                  (paths.rejected() / "bad.json").string() + "：Permission denied）"));
    EXPECT_EQ(readFile(paths.rejected() / "bad.reason.txt"), kNotUTF8);
    EXPECT_EQ(namesIn(paths.inbox()), std::vector<std::string>{"bad.json"});
}

TEST_F(InboxScannerTest, AReasonFileThatCannotBeWrittenIsIgnored) {
    files.onWrite = [](const fs::path&) -> std::optional<std::errc> {
        return std::errc::no_space_on_device;
    };
    EXPECT_EQ(dropAndScan("bad.json", "\xFF").result, InboxScanEvent::Result::rejected(kNotUTF8));
    EXPECT_EQ(namesIn(paths.rejected()), std::vector<std::string>{"bad.json"});
}

TEST_F(InboxScannerTest, EveryKindOfBadEntryIsRefusedAndThePassGoesOn) {
    // A directory and a named pipe named like receipts, a file that cannot be
    // read, a file that disappears between listing and reading, a store
    // failure, and good files between them.
    fs::create_directory(paths.inbox() / "b-directory.json");
    ASSERT_EQ(::mkfifo((paths.inbox() / "b-pipe.json").c_str(), 0644), 0);
    drop("a-good.json", receipt("rc-a"));
    drop("c-unreadable.json", receipt("rc-c"));
    drop("d-vanishing.json", receipt("rc-d"));
    drop("e-store-fails.json", receipt("rc-e"));
    drop("f-good.json", receipt("rc-f"));
    files.onRead = [&](const fs::path& location) -> std::optional<std::errc> {
        if (location.filename() == "c-unreadable.json") return std::errc::permission_denied;
        if (location.filename() == "d-vanishing.json") fs::remove(location);
        return std::nullopt;
    };
    store->setImportFaultHook(
        [imports = 0](SQLiteTaskStore::ImportStage stage) mutable -> Result<void, StoreError> {
            if (stage == SQLiteTaskStore::ImportStage::beforeCommit && ++imports == 2) {
                return fail(StoreError::sqlite("database is locked"));
            }
            return {};
        });

    const auto events = scan();
    ASSERT_EQ(events.size(), 7u);
    const auto inbox = [&](const char* name) { return (paths.inbox() / name).string(); };
    const auto unreadable = [&](const char* name, const std::string& why) {
        return InboxScanEvent{
            name, InboxScanEvent::Result::rejected("无法读取文件 " + inbox(name) + "：" + why)};
    };
    EXPECT_EQ(events[0].filename, "a-good.json");
    EXPECT_EQ(events[0].result.kind, InboxScanEvent::Result::Kind::accepted);
    EXPECT_EQ(events[1], unreadable("b-directory.json", "Is a directory"));
    // Reading a pipe would wait for a writer; it is refused at once instead.
    EXPECT_EQ(events[2], unreadable("b-pipe.json", "不是普通文件"));
    EXPECT_EQ(events[3], unreadable("c-unreadable.json", "Permission denied"));
    // The vanished file cannot be moved either; its reason file stays behind.
    EXPECT_EQ(events[4].result.reason,
              "无法读取文件 " + inbox("d-vanishing.json") +
                  "：No such file or directory（此外，移动到 rejected 目录也失败：无法将 " +
                  inbox("d-vanishing.json") + " 移动到 " +
                  (paths.rejected() / "d-vanishing.json").string() +
                  "：No such file or directory）");
    EXPECT_EQ(events[5], (InboxScanEvent{"e-store-fails.json",
                                         InboxScanEvent::Result::rejected(
                                             "任务数据库操作失败：database is locked")}));
    EXPECT_EQ(events[6].filename, "f-good.json");
    EXPECT_EQ(events[6].result.kind, InboxScanEvent::Result::Kind::accepted);

    EXPECT_TRUE(namesIn(paths.inbox()).empty());
    EXPECT_EQ(namesIn(paths.processed()), (std::vector<std::string>{"a-good.json", "f-good.json"}));
    EXPECT_EQ(namesIn(paths.rejected()),
              (std::vector<std::string>{"b-directory.json", "b-directory.reason.txt", "b-pipe.json",
                                        "b-pipe.reason.txt", "c-unreadable.json",
                                        "c-unreadable.reason.txt", "d-vanishing.reason.txt",
                                        "e-store-fails.json", "e-store-fails.reason.txt"}));
    EXPECT_EQ(readFile(paths.rejected() / "e-store-fails.reason.txt"),
              "任务数据库操作失败：database is locked");
    auto tasks = store->listTasks(true, currentTimestamp());
    ASSERT_TRUE(tasks);
    EXPECT_EQ(tasks->size(), 4u);  // rc-a and rc-f, two items each
}

TEST_F(InboxScannerTest, AFileWithoutReadPermissionIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    drop("locked.json", receipt("rc-locked"));
    fs::permissions(paths.inbox() / "locked.json", fs::perms::none);
    auto events = scan();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].result, InboxScanEvent::Result::rejected(
                                    "无法读取文件 " + (paths.inbox() / "locked.json").string() +
                                    "：Permission denied"));
    EXPECT_TRUE(fs::exists(paths.rejected() / "locked.json"));
}

TEST_F(InboxScannerTest, APassFailsOnlyWhenTheInboxCannotBePreparedOrListed) {
    drop("a.json", receipt("rc-a"));
    files.createFailure = std::errc::permission_denied;
    auto unprepared = scanner->scanOnce();
    ASSERT_FALSE(unprepared);
    EXPECT_EQ(unprepared.error().description(),
              "无法创建目录 " + paths.root().string() + "：Permission denied");

    files.createFailure.reset();
    files.listFailure = std::errc::too_many_files_open;
    auto unlisted = scanner->scanOnce();
    ASSERT_FALSE(unlisted);
    EXPECT_EQ(unlisted.error().description(),
              "无法读取目录 " + paths.inbox().string() + "：Too many open files");
    EXPECT_EQ(namesIn(paths.inbox()), std::vector<std::string>{"a.json"});
    auto listed = store->receiptHistory(-1);
    ASSERT_TRUE(listed);
    EXPECT_TRUE(listed->empty());
}

TEST_F(InboxScannerTest, CreatesMissingDirectoriesBeforeListing) {
    const AppPaths fresh(directory / "fresh");
    auto events = InboxScanner(fresh, *importer).scanOnce();
    ASSERT_TRUE(events);
    EXPECT_TRUE(events->empty());
    EXPECT_EQ(namesIn(fresh.root()),
              (std::vector<std::string>{"backups", "inbox", "processed", "rejected"}));
}
