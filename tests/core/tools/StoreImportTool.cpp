// One writer of the multi-process store test: waits until <start> (ms since
// the epoch) so that all writers start together, then imports, interleaved,
// the given versions of receipt "shared" (items "common", "only-v<version>")
// and <count> receipts "<writer>-r<i>" (items a, b). Exits 1 on the first error or version
// conflict.
//
//   store_import_tool <database> <start> <writer> <versions, e.g. 3,1,5> <count>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "TestReceipts.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: store_import_tool <database> <start> <writer> <versions> <count>\n");
        return 1;
    }
    auto opened = SQLiteTaskStore::open(argv[1]);
    if (!opened) return std::fprintf(stderr, "%s\n", opened.error().description().c_str()), 1;
    auto& store = **opened;
    // Widens the window between the pre-check and the transaction, where
    // another writer may store the same receipt, as a slow machine would.
    store.setImportFaultHook([](SQLiteTaskStore::ImportStage stage) -> Result<void, StoreError> {
        if (stage == SQLiteTaskStore::ImportStage::beforeTransaction)
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        return {};
    });
    auto stored = [&](const InterventionReceipt& receipt) {
        const std::string raw = testing::rawJSON(receipt);
        auto result = store.importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
        if (result && result->kind != StoreImportResult::Kind::versionConflict) return true;
        std::fprintf(stderr, "%s: %s\n", receipt.receiptId.c_str(),
                     result ? "version conflict" : result.error().description().c_str());
        return false;
    };
    std::vector<std::int64_t> versions;
    std::stringstream list(argv[4]);
    for (std::string version; std::getline(list, version, ',');)
        versions.push_back(std::stoll(version));
    const std::size_t count = std::stoul(argv[5]);
    std::this_thread::sleep_until(
        std::chrono::system_clock::time_point(std::chrono::milliseconds(std::stoll(argv[2]))));

    for (std::size_t i = 0; i < std::max(versions.size(), count); ++i) {
        if (i < versions.size() &&
            !stored(
                testing::makeReceipt("shared", versions[i],
                                     {testing::makeItem("common"),
                                      testing::makeItem("only-v" + std::to_string(versions[i]))})))
            return 1;
        const auto own = testing::makeReceipt(std::string(argv[3]) + "-r" + std::to_string(i), 1,
                                              {testing::makeItem("a", TaskPriority::high),
                                               testing::makeItem("b", TaskPriority::low)});
        if (i < count && !stored(own)) return 1;
    }
    return 0;
}
