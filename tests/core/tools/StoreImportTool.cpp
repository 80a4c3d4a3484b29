// One writer of the multi-process store test. Opens the store at <database>,
// waits until <start> (milliseconds since the epoch) so that all writers
// start together, then imports, interleaved, the given versions of the shared
// receipt and <count> receipts of its own. Exits 1 on the first error, also
// when the same version was ever refused as a conflict. Each import pauses
// between its pre-check and its transaction so that writers overlap there.
//
//   store_import_tool <database> <start> <writer> <versions, e.g. 3,1,5> <count>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SharedReceipt.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;

namespace {

int failWith(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

bool store(SQLiteTaskStore& store, const InterventionReceipt& receipt) {
    const std::string raw = testing::rawJSON(receipt);
    auto result = store.importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
    if (!result) {
        failWith(receipt.receiptId + ": " + result.error().description());
        return false;
    }
    if (result->kind == StoreImportResult::Kind::versionConflict) {
        failWith(receipt.receiptId + ": version conflict");
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6)
        return failWith("usage: store_import_tool <database> <start> <writer> <versions> <count>");
    const std::string writer = argv[3];
    std::vector<std::int64_t> versions;
    std::stringstream list(argv[4]);
    for (std::string version; std::getline(list, version, ',');)
        versions.push_back(std::stoll(version));
    const int count = std::atoi(argv[5]);

    auto opened = SQLiteTaskStore::open(argv[1]);
    if (!opened) return failWith(opened.error().description());
    auto& taskStore = **opened;
    // Widens the window between the pre-check and the transaction, where
    // another writer may store the same receipt, as a slow machine would.
    taskStore.setImportFaultHook(
        [](SQLiteTaskStore::ImportStage stage) -> Result<void, StoreError> {
            if (stage == SQLiteTaskStore::ImportStage::beforeTransaction) {
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
            return {};
        });
    std::this_thread::sleep_until(
        std::chrono::system_clock::time_point(std::chrono::milliseconds(std::atoll(argv[2]))));

    const std::size_t rounds = std::max(versions.size(), static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < rounds; ++i) {
        if (i < versions.size() && !store(taskStore, testing::sharedReceipt(versions[i]))) return 1;
        if (static_cast<int>(i) < count &&
            !store(taskStore, testing::writerReceipt(writer, static_cast<int>(i)))) {
            return 1;
        }
    }
    return 0;
}
