#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "core/intake/InboxScanner.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Kind = InboxScanEvent::Result::Kind;
using Step = FileError::Kind;

namespace {

std::string receipt(const std::string& id) {
    return deploy({{"/receipt_id", id}});
}

class FaultyFileSystem : public FileSystem {
public:
    using Hook = std::function<std::optional<std::errc>(Step, const fs::path&, const fs::path&)>;
    Hook hook;
    Result<void, FileError> createDirectories(const fs::path& at) override {
        return guarded(Step::createDirectory, at, {}, [&] { return Base::createDirectories(at); });
    }
    Result<std::vector<std::string>, FileError> listVisibleEntries(const fs::path& at) override {
        return guarded(Step::listDirectory, at, {}, [&] { return Base::listVisibleEntries(at); });
    }
    Result<std::string, FileError> readFile(const fs::path& at, std::size_t limit) override {
        return guarded(Step::readFile, at, {}, [&] { return Base::readFile(at, limit); });
    }
    Result<void, FileError> moveItem(const fs::path& at, const fs::path& to) override {
        return guarded(Step::moveItem, at, to, [&] { return Base::moveItem(at, to); });
    }

private:
    using Base = FileSystem;
    template <typename Call>
    auto guarded(Step step, const fs::path& at, const fs::path& to, Call call) -> decltype(call()) {
        const auto code = hook ? hook(step, at, to) : std::nullopt;
        if (!code) return call();
        return fail(FileError::fromCode(step, at, std::make_error_code(*code), to.string()));
    }
};

FaultyFileSystem::Hook failing(Step step, std::errc code) {
    return [=](Step now, auto&, auto&) { return now == step ? std::optional(code) : std::nullopt; };
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
    InboxScanEvent dropAndScan(const std::string& name, const std::string& text) {
        drop(name, text);
        return scan().at(0);
    }
    std::string failure(const std::string& what, const std::string& name, const std::string& why) {
        return what + (paths.inbox() / name).string() + why;
    }
    AppPaths paths{"/"};
    FaultyFileSystem files;
    std::optional<ReceiptImporter> importer;
    std::optional<InboxScanner> scanner;
};

}  // namespace

// A taken name gets the second count, then a random UUID; it always ends in ".json".
TEST_F(InboxScannerTest, TakesVisibleJSONFilesInByteOrderAndSuffixesTakenNames) {
    const Names ignored{".hidden.json", "json", "nested", "notes.txt", "x.json.txt", "y.jsonl"};
    fs::create_directory(paths.inbox() / "nested");
    for (const auto& name : ignored) drop(name, "not json");  // not into the directory "nested"
    drop("nested/inner.json", receipt("rc-nested"));
    for (const char* name : {"b.json", "a.json", "A.json", "C.JSON"}) drop(name, receipt(name));
    const auto passed = [&] {
        std::string seen;
        for (const auto& event : scan()) {
            const bool stored = event.result.kind == Kind::accepted;
            seen += event.filename + "=" +
                    (stored ? event.result.outcome->receipt.receiptId : "-") + " ";
        }
        return seen;
    };
    EXPECT_EQ(passed(), "A.json=A.json C.JSON=C.JSON a.json=a.json b.json=b.json ");
    EXPECT_EQ(namesIn(paths.inbox()), ignored);
    EXPECT_EQ(namesIn(paths.processed()), (Names{"A.json", "C.JSON", "a.json", "b.json"}));
    for (int pass = 0; pass < 2; ++pass) {
        for (const char* name : {"a.json", "C.JSON"}) drop(name, receipt(name));
        EXPECT_EQ(passed(), "C.JSON=C.JSON a.json=a.json ");
    }
    const std::string seconds = std::to_string(kNowSeconds);
    auto names = namesIn(paths.processed());
    EXPECT_EQ(
        std::erase(names, "C-" + seconds + ".json") + std::erase(names, "a-" + seconds + ".json"),
        2u);
    ASSERT_EQ(names.size(), 6u);
    EXPECT_TRUE(std::regex_match(names[1], std::regex("C-[0-9A-F-]{36}\\.json"))) << names[1];
    EXPECT_TRUE(std::regex_match(names[3], std::regex("a-[0-9A-F-]{36}\\.json"))) << names[3];
}

// A pass fails only when the inbox cannot be prepared or listed; a bad entry is rejected.
TEST_F(InboxScannerTest, EveryKindOfBadEntryIsRefusedWithAReasonAndThePassGoesOn) {
    fs::create_directory(paths.inbox() / "b-directory.json");
    drop("b-huge.json", "{");
    fs::resize_file(paths.inbox() / "b-huge.json", std::uintmax_t{16} << 30);
    ASSERT_EQ(::mkfifo((paths.inbox() / "b-pipe.json").c_str(), 0644), 0);
    drop("c-latin1.json", "\xE9t\xE9");
    for (const char* name : {"a.json", "c-store-fails.json", "d.json"}) drop(name, receipt(name));
    const auto locked = StoreError::sqlite("database is locked");
    store->setImportFaultHook([&, imports = 0](auto stage) mutable -> Result<void, StoreError> {
        if (stage == SQLiteTaskStore::ImportStage::beforeCommit && ++imports == 2)
            return fail(locked);
        return {};
    });
    files.hook = failing(Step::createDirectory, std::errc::permission_denied);
    EXPECT_EQ(scanner->scanOnce().error().description(),
              "无法创建目录 " + paths.root().string() + "：Permission denied");
    files.hook = failing(Step::listDirectory, std::errc::too_many_files_open);
    EXPECT_EQ(scanner->scanOnce().error().description(),
              "无法读取目录 " + paths.inbox().string() + "：Too many open files");
    files.hook = nullptr;
    const auto refused = [](const char* name, const std::string& why) {
        return InboxScanEvent{name, InboxScanEvent::Result::rejected(why)};
    };
    const auto events = scan();
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[1], refused("b-directory.json",
                                 failure("无法读取文件 ", "b-directory.json", "：Is a directory")));
    EXPECT_EQ(events[2], refused("b-huge.json", ImportError::tooLarge().description()));
    // Reading a pipe would wait for a writer; it is refused at once instead.
    EXPECT_EQ(events[3],
              refused("b-pipe.json", failure("无法读取文件 ", "b-pipe.json", "：不是普通文件")));
    EXPECT_EQ(events[4], refused("c-latin1.json", kNotUTF8));
    EXPECT_EQ(events[5], refused("c-store-fails.json", locked.description()));
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
    EXPECT_EQ(namesIn(paths.processed()), (Names{"a.json", "d.json"}));
    EXPECT_EQ(namesIn(paths.rejected()),
              (Names{"b-directory.json", "b-directory.reason.txt", "b-huge.json",
                     "b-huge.reason.txt", "b-pipe.json", "b-pipe.reason.txt", "c-latin1.json",
                     "c-latin1.reason.txt", "c-store-fails.json", "c-store-fails.reason.txt"}));
    // Refused again under that name: the file is suffixed, the reason replaced.
    const InboxScanEvent second = dropAndScan("c-latin1.json", "{ not json");
    EXPECT_TRUE(second.result.reason.starts_with("回执 JSON 无法解析："));
    EXPECT_EQ(readFile(paths.rejected() / "c-latin1.reason.txt"), second.result.reason);
    EXPECT_TRUE(
        fs::exists(paths.rejected() / ("c-latin1-" + std::to_string(kNowSeconds) + ".json")));
    // A failed move to rejected is added to the reason; the file stays.
    files.hook = failing(Step::moveItem, std::errc::permission_denied);
    EXPECT_EQ(dropAndScan("bad.json", "\xFF").result.reason,
              kNotUTF8 +
                  failure("（此外，移动到 rejected 目录也失败：无法将 ", "bad.json", " 移动到 ") +
                  (paths.rejected() / "bad.json").string() + "：Permission denied）");
    EXPECT_EQ(readFile(paths.rejected() / "bad.reason.txt"), kNotUTF8);
    EXPECT_EQ(namesIn(paths.inbox()), Names{"bad.json"});
    fs::remove(paths.inbox() / "bad.json");
    // A failed move to processed keeps the file for the next pass.
    files.hook = [&](Step, auto&, const fs::path& to) {
        return to.parent_path() == paths.processed()
                   ? std::optional(std::errc::read_only_file_system)
                   : std::nullopt;
    };
    const InboxScanEvent first = dropAndScan("e.json", receipt("rc-e"));
    ASSERT_EQ(first.result.kind, Kind::acceptedButArchivingFailed);
    EXPECT_EQ(first.result.reason, failure("无法将 ", "e.json", " 移动到 ") +
                                       (paths.processed() / "e.json").string() +
                                       "：Read-only file system");
    EXPECT_EQ(first.result.outcome->result, StoreImportResult::inserted(2));
    EXPECT_EQ(namesIn(paths.inbox()), Names{"e.json"});
    files.hook = nullptr;
    const auto again = scan().at(0).result;
    EXPECT_TRUE(again.kind == Kind::accepted &&
                again.outcome->result == StoreImportResult::duplicate());
    EXPECT_TRUE(namesIn(paths.inbox()).empty());
}

// A file another scanner takes meanwhile gets no reason file; it is reported if stored here.
TEST_F(InboxScannerTest, AFileTakenByAnotherScannerIsLeftToItWithoutARefusal) {
    enum Content { fresh, alreadyStored, refused };
    const std::tuple<Step, Content, bool> cases[] = {
        // taken before, content, reported here
        {Step::readFile, fresh, false},
        {Step::moveItem, fresh, true},
        {Step::moveItem, alreadyStored, false},
        {Step::moveItem, refused, false},
    };
    const fs::path hideout = directory / "other-scanner";
    fs::create_directory(hideout);
    int round = 0;
    for (const auto& [takenBefore, content, reportedHere] : cases) {
        const std::string id = "r-race-" + std::to_string(++round), victim = id + "-a.json";
        SCOPED_TRACE(victim);
        files.hook = [&](Step step, const fs::path& at, auto&) {
            if (step == takenBefore && at.filename() == victim) fs::rename(at, hideout / victim);
            return std::optional<std::errc>();
        };
        if (content == alreadyStored) {
            ASSERT_TRUE(importer->importData(receipt(id)));
        }
        drop(victim, content == refused ? "\xFF" : receipt(id));
        drop(id + "-b.json", receipt(id + "-b"));  // nobody else takes this one
        std::string reported;  // each event: its file, and whether it is a fresh accepted import
        for (const auto& event : scan()) {
            reported += event.filename +
                        (event.result.kind == Kind::accepted &&
                                 event.result.outcome->result == StoreImportResult::inserted(2)
                             ? " inserted;"
                             : " other;");
        }
        EXPECT_EQ(reported, (reportedHere ? victim + " inserted;" : "") + id + "-b.json inserted;");
        EXPECT_TRUE(fs::exists(hideout / victim));
        EXPECT_TRUE(fs::is_empty(paths.inbox()));
        EXPECT_TRUE(fs::is_empty(paths.rejected()));
    }
}
