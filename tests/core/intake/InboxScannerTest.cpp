#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "core/intake/InboxScanner.h"
#include "intake/IntakeTestData.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Kind = InboxScanEvent::Result::Kind;

namespace {

std::string receipt(const std::string& receiptID) {
    auto document = nlohmann::json::parse(testData("intake/deploy-v1.json"));
    document["receipt_id"] = receiptID;
    return document.dump();
}

// A file system whose steps fail with the code `hook` gives for them.
class FaultyFileSystem : public FileSystem {
public:
    using Hook = std::function<std::optional<std::errc>(FileError::Kind, const fs::path& at,
                                                        const fs::path& to)>;
    Hook hook;

    Result<void, FileError> createDirectories(const fs::path& at) override {
        return guarded(FileError::Kind::createDirectory, at, {}, [&] { return FileSystem::createDirectories(at); });
    }
    Result<std::vector<std::string>, FileError> listVisibleEntries(const fs::path& at) override {
        return guarded(FileError::Kind::listDirectory, at, {}, [&] { return FileSystem::listVisibleEntries(at); });
    }
    Result<std::string, FileError> readFile(const fs::path& at, std::size_t maxBytes) override {
        return guarded(FileError::Kind::readFile, at, {}, [&] { return FileSystem::readFile(at, maxBytes); });
    }
    Result<void, FileError> writeFileAtomically(const fs::path& at, std::string_view text) override {
        return guarded(FileError::Kind::writeFile, at, {}, [&] { return FileSystem::writeFileAtomically(at, text); });
    }
    Result<void, FileError> moveItem(const fs::path& at, const fs::path& to) override {
        return guarded(FileError::Kind::moveItem, at, to, [&] { return FileSystem::moveItem(at, to); });
    }

private:
    template <typename Step>
    auto guarded(FileError::Kind kind, const fs::path& at, const fs::path& to, Step step) -> decltype(step()) {
        const auto code = hook ? hook(kind, at, to) : std::nullopt;
        if (!code) return step();
        return fail(FileError::fromCode(kind, at, std::make_error_code(*code), to.string()));
    }
};

// A hook failing every step of `kind` with `code`.
FaultyFileSystem::Hook failing(FileError::Kind kind, std::errc code) {
    return [=](FileError::Kind step, auto&, auto&) {
        return step == kind ? std::optional(code) : std::nullopt;
    };
}

// 2026-07-27T08:30:00Z: the second count of every renamed file here.
constexpr std::int64_t kNowSeconds = 1785141000;
const std::string kNotUTF8 = ImportError::notUTF8().description();

class InboxScannerTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        paths = AppPaths(directory);
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
        std::ofstream(paths.inbox() / name, std::ios::binary) << content;
    }

    // The event of a pass over the one file dropped.
    InboxScanEvent dropAndScan(const std::string& name, const std::string& content) {
        drop(name, content);
        auto events = scan();
        EXPECT_EQ(events.size(), 1u);
        return events.empty() ? InboxScanEvent{} : events.front();
    }

    std::string moveError(const std::string& name, const fs::path& to, const char* why) {
        return "无法将 " + (paths.inbox() / name).string() + " 移动到 " + (to / name).string() +
               "：" + why;
    }

    AppPaths paths{"/"};
    FaultyFileSystem files;
    std::optional<ReceiptImporter> importer;
    std::optional<InboxScanner> scanner;
};

using InboxScannerRaceTest = InboxScannerTest;

}  // namespace

TEST_F(InboxScannerTest, TakesVisibleJSONFilesInByteOrderOfTheirNames) {
    const AppPaths fresh(directory / "fresh");
    auto none = InboxScanner(fresh, *importer).scanOnce();
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_EQ(namesIn(fresh.root()), (Names{"backups", "inbox", "processed", "rejected"}));

    Names ignored{".hidden.json", "json", "notes.txt", "x.json.txt", "y.jsonl", "z.json."};
    for (const auto& name : ignored) drop(name, "not json");
    fs::create_directory(paths.inbox() / "nested");
    ignored.insert(ignored.begin() + 2, "nested");
    drop("nested/inner.json", receipt("rc-nested"));
    for (const char* name : {"b.json", "a.json", "A.json", "C.JSON"}) {
        drop(name, receipt(std::string("rc-") + name));
    }
    const auto events = scan();
    Names order;
    for (const auto& event : events) {
        order.push_back(event.filename);
        EXPECT_EQ(event.result.kind, Kind::accepted) << event.filename;
    }
    EXPECT_EQ(order, (Names{"A.json", "C.JSON", "a.json", "b.json"}));
    EXPECT_EQ(events.at(0).result.outcome->receipt.receiptId, "rc-A.json");
    EXPECT_EQ(namesIn(paths.inbox()), ignored);
    EXPECT_EQ(namesIn(paths.processed()), order);
    EXPECT_TRUE(namesIn(paths.rejected()).empty());
}

TEST_F(InboxScannerTest, SuffixesANameAlreadyTakenInTheTarget) {
    const std::string seconds = std::to_string(kNowSeconds);
    dropAndScan("report.json", receipt("rc-report"));
    const InboxScanEvent second = dropAndScan("report.json", receipt("rc-report"));
    EXPECT_EQ(second.filename, "report.json");
    ASSERT_EQ(second.result.kind, Kind::accepted);
    EXPECT_EQ(second.result.outcome->result, StoreImportResult::duplicate());
    // Within the same second, the third gets a random upper-case UUID.
    dropAndScan("report.json", receipt("rc-report"));
    auto names = namesIn(paths.processed());
    ASSERT_EQ(std::erase(names, "report.json") + std::erase(names, "report-" + seconds + ".json"), 2u);
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
    EXPECT_EQ(bytesOf(paths.rejected() / "deploy.reason.txt"), kNotUTF8);
    EXPECT_EQ(bytesOf(paths.rejected() / "deploy.json"), "\xE9t\xE9");

    // Refused again under that name: the file is suffixed, the reason replaced.
    const InboxScanEvent second = dropAndScan("deploy.json", "{ not json");
    EXPECT_EQ(second.result.kind, Kind::rejected);
    EXPECT_TRUE(second.result.reason.starts_with("回执 JSON 无法解析："));
    EXPECT_EQ(bytesOf(paths.rejected() / "deploy.reason.txt"), second.result.reason);
    EXPECT_EQ(namesIn(paths.rejected()),
              (Names{"deploy-" + std::to_string(kNowSeconds) + ".json", "deploy.json",
                     "deploy.reason.txt"}));
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
}

TEST_F(InboxScannerTest, AFailedMoveToProcessedKeepsTheFileForTheNextPass) {
    files.hook = [&](FileError::Kind, auto&, const fs::path& to) -> std::optional<std::errc> {
        if (to.parent_path() == paths.processed()) return std::errc::read_only_file_system;
        return std::nullopt;
    };
    const InboxScanEvent first = dropAndScan("a.json", receipt("rc-a"));
    ASSERT_EQ(first.result.kind, Kind::acceptedButArchivingFailed);
    EXPECT_EQ(first.result.reason, moveError("a.json", paths.processed(), "Read-only file system"));
    EXPECT_EQ(first.result.outcome->result, StoreImportResult::inserted(2));
    EXPECT_EQ(namesIn(paths.inbox()), Names{"a.json"});

    // The next pass imports it again, as a duplicate, and archives it.
    files.hook = nullptr;
    const auto second = scan();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].result.kind, Kind::accepted);
    EXPECT_EQ(second[0].result.outcome->result, StoreImportResult::duplicate());
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
}

// The refusal stands when its move or its reason file fails.
TEST_F(InboxScannerTest, AFailedMoveToRejectedIsAddedToTheReason) {
    files.hook = failing(FileError::Kind::moveItem, std::errc::permission_denied);
    EXPECT_EQ(dropAndScan("bad.json", "\xFF").result,
              InboxScanEvent::Result::rejected(
                  kNotUTF8 + "（此外，移动到 rejected 目录也失败：" +
                  moveError("bad.json", paths.rejected(), "Permission denied") + "）"));
    EXPECT_EQ(bytesOf(paths.rejected() / "bad.reason.txt"), kNotUTF8);
    EXPECT_EQ(namesIn(paths.inbox()), Names{"bad.json"});

    files.hook = failing(FileError::Kind::writeFile, std::errc::no_space_on_device);
    fs::remove(paths.rejected() / "bad.reason.txt");
    EXPECT_EQ(scan().at(0).result, InboxScanEvent::Result::rejected(kNotUTF8));
    EXPECT_EQ(namesIn(paths.rejected()), Names{"bad.json"});
}

TEST_F(InboxScannerTest, EveryKindOfBadEntryIsRefusedAndThePassGoesOn) {
    fs::create_directory(paths.inbox() / "b-directory.json");
    ASSERT_EQ(::mkfifo((paths.inbox() / "b-pipe.json").c_str(), 0644), 0);
    drop("a-good.json", receipt("rc-a"));
    drop("c-store-fails.json", receipt("rc-c"));
    drop("d-good.json", receipt("rc-d"));
    store->setImportFaultHook(
        [imports = 0](SQLiteTaskStore::ImportStage stage) mutable -> Result<void, StoreError> {
            if (stage == SQLiteTaskStore::ImportStage::beforeCommit && ++imports == 2) {
                return fail(StoreError::sqlite("database is locked"));
            }
            return {};
        });
    const std::string locked = StoreError::sqlite("database is locked").description();
    const auto refused = [&](const char* name, const std::string& why) {
        return InboxScanEvent{name, InboxScanEvent::Result::rejected(why)};
    };
    const auto unreadable = [&](const char* name, const std::string& why) {
        return refused(name, "无法读取文件 " + (paths.inbox() / name).string() + "：" + why);
    };
    const auto events = scan();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].result.kind, Kind::accepted);
    EXPECT_EQ(events[1], unreadable("b-directory.json", "Is a directory"));
    // Reading a pipe would wait for a writer; it is refused at once instead.
    EXPECT_EQ(events[2], unreadable("b-pipe.json", "不是普通文件"));
    EXPECT_EQ(events[3], refused("c-store-fails.json", locked));
    EXPECT_EQ(events[4].result.kind, Kind::accepted);

    EXPECT_TRUE(namesIn(paths.inbox()).empty());
    EXPECT_EQ(namesIn(paths.processed()), (Names{"a-good.json", "d-good.json"}));
    EXPECT_EQ(namesIn(paths.rejected()),
              (Names{"b-directory.json", "b-directory.reason.txt", "b-pipe.json",
                     "b-pipe.reason.txt", "c-store-fails.json", "c-store-fails.reason.txt"}));
    EXPECT_EQ(bytesOf(paths.rejected() / "c-store-fails.reason.txt"), locked);
    EXPECT_EQ(value("SELECT count(*) FROM tasks"), "4");  // rc-a and rc-d, two items each
}

TEST_F(InboxScannerTest, AFileWithoutReadPermissionIsRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads any file";
    drop("locked.json", receipt("rc-locked"));
    fs::permissions(paths.inbox() / "locked.json", fs::perms::none);
    EXPECT_EQ(scan().at(0).result,
              InboxScanEvent::Result::rejected(
                  "无法读取文件 " + (paths.inbox() / "locked.json").string() + "：Permission denied"));
    EXPECT_TRUE(fs::exists(paths.rejected() / "locked.json"));
}

TEST_F(InboxScannerTest, APassFailsOnlyWhenTheInboxCannotBePreparedOrListed) {
    drop("a.json", receipt("rc-a"));
    files.hook = failing(FileError::Kind::createDirectory, std::errc::permission_denied);
    EXPECT_EQ(scanner->scanOnce().error().description(),
              "无法创建目录 " + paths.root().string() + "：Permission denied");
    files.hook = failing(FileError::Kind::listDirectory, std::errc::too_many_files_open);
    EXPECT_EQ(scanner->scanOnce().error().description(),
              "无法读取目录 " + paths.inbox().string() + "：Too many open files");
    EXPECT_EQ(namesIn(paths.inbox()), Names{"a.json"});
    EXPECT_TRUE(contents().empty());
}

// The other scanner (the desktop program's timer against a velmora-cli scan)
// takes a file just before this pass reads or moves it: the file is left to
// it, without a refusal or a reason file, and reported here only when this
// pass's own import stored it.
TEST_F(InboxScannerRaceTest, AFileTakenByAnotherScannerIsLeftToItWithoutARefusal) {
    enum class Content { fresh, alreadyStored, refused };
    const struct {
        FileError::Kind step;  // the one the other scanner comes just before
        Content content;
        bool reportedHere;
    } cases[] = {
        {FileError::Kind::readFile, Content::fresh, false},
        {FileError::Kind::moveItem, Content::fresh, true},
        {FileError::Kind::moveItem, Content::alreadyStored, false},
        {FileError::Kind::moveItem, Content::refused, false},
    };
    const fs::path hideout = directory / "other-scanner";
    fs::create_directory(hideout);
    // Step identifiers of three characters or more pass the validator.
    const auto valid = [](const std::string& id) {
        return rawJSON(makeReceipt(id, 1, {makeItem("item-1", TaskPriority::medium, {"step-1"})}));
    };
    int round = 0;
    for (const auto& test : cases) {
        const std::string id = "r-race-" + std::to_string(++round), victim = id + "-a.json";
        SCOPED_TRACE(victim);
        files.hook = [&](FileError::Kind step, const fs::path& at, auto&) {
            if (step == test.step && at.filename() == victim) fs::rename(at, hideout / victim);
            return std::optional<std::errc>();
        };
        if (test.content == Content::alreadyStored) { ASSERT_TRUE(importer->importData(valid(id))); }
        drop(victim, test.content == Content::refused ? "\xFF" : valid(id));
        drop(id + "-b.json", valid(id + "-b"));  // nobody else takes this one

        const auto events = scan();
        ASSERT_EQ(events.size(), test.reportedHere ? 2u : 1u);
        if (test.reportedHere) {
            EXPECT_EQ(events.front().filename, victim);
            EXPECT_EQ(events.front().result.kind, Kind::accepted);
            EXPECT_EQ(events.front().result.outcome->result, StoreImportResult::inserted(1));
        }
        EXPECT_EQ(events.back().filename, id + "-b.json");
        EXPECT_EQ(events.back().result.kind, Kind::accepted);
        EXPECT_TRUE(fs::exists(hideout / victim));
        EXPECT_TRUE(fs::is_empty(paths.inbox()));
        EXPECT_TRUE(fs::is_empty(paths.rejected()));
    }
}
