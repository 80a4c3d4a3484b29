// Hostile receipts: texts that once made the secret scan give up silently or
// run for minutes, and receipts over the size limit on each road in.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/archive/KestrinArchive.h"
#include "core/intake/InboxScanner.h"
#include "core/intake/ReceiptImporter.h"
#include "core/support/SHA256Digest.h"
#include "tools/StoreFixture.h"

using namespace kestrin;

namespace {

constexpr std::size_t kLimit = ReceiptImporter::maxReceiptBytes;

std::string deployReceipt() {
    std::ifstream in(std::string(VELMORA_TEST_DATA) + "/intake/deploy-v1.json", std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string repeated(const std::string& text, std::size_t times) {
    if (text.size() == 1) return std::string(times, text[0]);
    std::string result;
    result.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) result += text;
    return result;
}

// `before`, `text` repeated, `after`: as many repeats as fit in `size` bytes.
// The worst cases take 1 MiB, twice the length where the engine used to give
// up; the benchmark runs them at the size limit.
std::string filled(const std::string& before, const std::string& text, const std::string& after,
                   std::size_t size = std::size_t{1} << 20) {
    return before + repeated(text, (size - before.size() - after.size()) / text.size()) + after;
}

class ReceiptLimitsTest : public kestrin::testing::StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        importer.emplace(*store);
    }

    std::optional<ReceiptImporter> importer;
};

}  // namespace

// Each text must be answered, never taken as clean because the engine gave up;
// a refused one leaves the database empty.
TEST_F(ReceiptLimitsTest, HostileTextsAreRefusedOrImportedNeverWaivedThrough) {
    const std::string secret = "回执包含疑似秘密，已阻止导入：";
    const std::string a510k(510'000, 'a');
    struct Case {
        const char* name;
        std::string text;
        std::string expected;  // the refusal text, or the start of it
    };
    const Case cases[] = {
        {"bearer token of 510,000 characters",
         "{\"instruction\": \"Authorization: Bearer " + a510k + "\"}",
         secret + "第 1 行 bearer_token。"},
        {"password of 510,000 characters", "{\n\"password\": \"" + a510k + "\"}",
         secret + "第 2 行 credential_field。"},
        {"GitHub token of 3,000,000 characters",
         "{\"instruction\": \"ghp_" + std::string(3'000'000, 'a') + "\"}",
         secret + "第 1 行 github_token。"},
        {"\"sk-\" 170,000 times", "{\"instruction\": \"see " + repeated("sk-", 170'000) + "\"}",
         secret + "第 1 行 openai_key。"},
        {"\"sk-\" of 1 MiB", filled("{\"x\": \"see ", "sk-", "\"}"),
         secret + "第 1 行 openai_key。"},
        {"escaped \"sk-\" of 1 MiB", filled("{\"x\": \"see ", "\\u0073k-", "\"}"),
         secret + "第 1 行 openai_key。"},
        {"GitHub token ending in a word character, 1 MiB",
         filled("\"ghp_", "a", "\u00e9\""), "回执 JSON 无法解析："},
        {"API key ending in a word character, 1 MiB",
         filled("\"sk-", "a", "\u00e9\""), "回执 JSON 无法解析："},
        {"\"Bearer\" before spaces of 1 MiB", filled("\"Bearer", " ", "!\""),
         "回执 JSON 无法解析："},
        {"unclosed password value of 1 MiB", filled("{\"password\": \"", "x", ""),
         "回执 JSON 无法解析："},
        {"one byte over the size limit", filled(deployReceipt(), " ", "", kLimit + 1),
         ImportError::tooLarge().description()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto imported = importer->importData(c.text);
        ASSERT_FALSE(imported);
        EXPECT_EQ(imported.error().description().rfind(c.expected, 0), 0u)
            << imported.error().description();
        EXPECT_TRUE(contents().empty());
    }
    // A receipt of exactly the limit is taken.
    const auto atLimit = importer->importData(filled(deployReceipt(), " ", "", kLimit));
    ASSERT_TRUE(atLimit) << atLimit.error().description();
}

// Every road that reads a receipt from a file stops reading past the limit, so
// a file of many gigabytes is refused at once, and the archive refuses an
// archived receipt over the limit before scanning it.
TEST_F(ReceiptLimitsTest, OversizedReceiptsAreRefusedOnEveryRoad) {
    const std::string tooLarge = ImportError::tooLarge().description();
    const auto sparseFile = [](const std::filesystem::path& location) {
        std::ofstream(location).put('{');
        std::filesystem::resize_file(location, std::uintmax_t{16} << 30);
    };

    const std::filesystem::path chosen = directory / "chosen.json";
    sparseFile(chosen);
    const auto fromFile = importer->importFile(chosen);
    ASSERT_FALSE(fromFile);
    EXPECT_EQ(fromFile.error().description(), tooLarge);

    const AppPaths paths(directory);
    ASSERT_TRUE(paths.ensureDirectories());
    sparseFile(paths.inbox() / "huge.json");
    const auto events = InboxScanner(paths, *importer).scanOnce();
    ASSERT_TRUE(events);
    ASSERT_EQ(events->size(), 1u);
    EXPECT_EQ(events->front(),
              (InboxScanEvent{"huge.json", InboxScanEvent::Result::rejected(tooLarge)}));
    EXPECT_TRUE(std::filesystem::exists(paths.rejected() / "huge.json"));

    KestrinArchive archive;
    archive.schemaVersion = "1.0";
    const std::string raw = filled(deployReceipt(), " ", "", kLimit + 1);
    archive.receipts.push_back({"rc-deploy-2026", 1, SHA256Digest::hex(raw), raw});
    const auto validated = archive.validate(ReceiptValidator(), SecretScanner());
    ASSERT_FALSE(validated);
    EXPECT_EQ(validated.error(), TaskArchiveError::invalidReceipt("rc-deploy-2026：" + tooLarge));
    EXPECT_TRUE(contents().empty());
}
