// Two scanners on one inbox (the desktop program's timer and a velmora-cli
// scan): a file the other one takes between this pass's listing and its read
// or move belongs to the other one.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "core/intake/InboxScanner.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;

namespace {

// Plays the other scanner: just before this one reads or moves the file named
// `victim`, it moves that file out of the inbox itself.
class CompetingScanner : public FileSystem {
public:
    enum class Stage { read, move };

    Stage stage = Stage::read;
    std::string victim;
    fs::path hideout;

    Result<std::string, FileError> readFile(const fs::path& location,
                                            std::size_t maxBytes) override {
        if (stage == Stage::read) take(location);
        return FileSystem::readFile(location, maxBytes);
    }
    Result<void, FileError> moveItem(const fs::path& from, const fs::path& to) override {
        if (stage == Stage::move) take(from);
        return FileSystem::moveItem(from, to);
    }

private:
    void take(const fs::path& location) {
        if (location.filename() == victim && fs::exists(location)) {
            fs::rename(location, hideout / victim);
        }
    }
};

class InboxScannerRaceTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        paths.emplace(directory);
        ASSERT_TRUE(paths->ensureDirectories());
        competitor.hideout = directory / "other-scanner";
        fs::create_directory(competitor.hideout);
        importer.emplace(*store);
        scanner.emplace(*paths, *importer, competitor);
    }

    std::optional<AppPaths> paths;
    CompetingScanner competitor;
    std::optional<ReceiptImporter> importer;
    std::optional<InboxScanner> scanner;
};

TEST_F(InboxScannerRaceTest, AFileTakenByAnotherScannerIsLeftToItWithoutARefusal) {
    using Stage = CompetingScanner::Stage;
    enum class Content { fresh, alreadyStored, refused };
    const struct Case {
        const char* name;
        Stage stage;
        Content content;
        bool reportedHere;  // as accepted: this pass's import stored it
    } cases[] = {
        {"taken before the read", Stage::read, Content::fresh, false},
        {"taken before the move, stored by this pass", Stage::move, Content::fresh, true},
        {"taken before the move, stored before", Stage::move, Content::alreadyStored, false},
        {"taken before the move of a refused file", Stage::move, Content::refused, false},
    };
    // Receipts the importer accepts: step identifiers of three characters or more.
    const auto valid = [](const std::string& id) {
        return makeReceipt(id, 1, {makeItem("item-1", TaskPriority::medium, {"step-1"})});
    };
    int round = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string id = "r-race-" + std::to_string(++round);
        const auto receipt = valid(id);
        if (test.content == Content::alreadyStored) imported(receipt);
        competitor.stage = test.stage;
        competitor.victim = id + "-a.json";
        std::ofstream(paths->inbox() / competitor.victim, std::ios::binary)
            << (test.content == Content::refused ? std::string("\xFF") : rawJSON(receipt));
        // A neighbour nobody else takes is handled as usual.
        std::ofstream(paths->inbox() / (id + "-b.json"), std::ios::binary)
            << rawJSON(valid(id + "-b"));

        auto events = scanner->scanOnce();
        ASSERT_TRUE(events) << events.error().description();
        ASSERT_EQ(events->size(), test.reportedHere ? 2u : 1u);
        if (test.reportedHere) {
            EXPECT_EQ(events->front().filename, competitor.victim);
            EXPECT_EQ(events->front().result.kind, InboxScanEvent::Result::Kind::accepted);
            EXPECT_EQ(events->front().result.outcome->result, StoreImportResult::inserted(1));
        }
        EXPECT_EQ(events->back().filename, id + "-b.json");
        EXPECT_EQ(events->back().result.kind, InboxScanEvent::Result::Kind::accepted);
        EXPECT_TRUE(fs::exists(competitor.hideout / competitor.victim));
        EXPECT_TRUE(fs::is_empty(paths->inbox()));
        EXPECT_TRUE(fs::is_empty(paths->rejected()));  // no refusal, no reason file
    }
}

}  // namespace
