// Several velmora-cli scans of one inbox at once, as when a scan runs while
// the desktop program's timer scans: each file is imported, archived and
// reported once, and a file another scan took is no refusal.

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "CLIFixture.h"

using namespace kestrin::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class CLIConcurrentScanTest : public CLIFixture {};

TEST_F(CLIConcurrentScanTest, ScansAtOnceImportAndReportEachFileOnceWithoutRefusals) {
    constexpr int files = 80;
    constexpr int scans = 3;
    json receipt = json::parse(readFile(testData("intake/deploy-v1.json")));
    fs::create_directories(home / "inbox");
    for (int i = 0; i < files; ++i) {
        receipt["receipt_id"] = "rc-scan-" + std::to_string(i);
        writeFile(home / "inbox" / ("rc-scan-" + std::to_string(i) + ".json"), receipt.dump());
    }

    std::vector<CLIRun> runs(scans);
    std::vector<std::thread> threads;
    for (CLIRun& done : runs) threads.emplace_back([&] { done = run({"scan"}); });
    for (auto& thread : threads) thread.join();

    std::map<std::string, int> importsReported;
    for (const CLIRun& done : runs) {
        EXPECT_EQ(done.exitStatus, 0);
        EXPECT_EQ(done.errors, "");
        std::istringstream lines(done.output);
        for (std::string line; std::getline(lines, line);) {
            const auto mark = line.find("：已导入 ");
            if (mark != std::string::npos) ++importsReported[line.substr(0, mark)];
        }
    }
    EXPECT_EQ(importsReported.size(), static_cast<size_t>(files));
    for (const auto& [name, count] : importsReported) EXPECT_EQ(count, 1) << name;

    const auto count = [](const fs::path& directory) {
        return std::distance(fs::directory_iterator(directory), fs::directory_iterator());
    };
    EXPECT_EQ(count(home / "inbox"), 0);
    EXPECT_EQ(count(home / "processed"), files);
    EXPECT_EQ(count(home / "rejected"), 0);  // no refusal, no stray reason file
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"),
              (std::vector<std::string>{std::to_string(files)}));
}

}  // namespace
