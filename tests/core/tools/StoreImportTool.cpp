// A writer of the multi-process store test: from <start> (ms since the epoch) imports <count>
// receipts "<writer>-r<i>" and the given versions of "shared"; exits 1 on any failure.

#include <chrono>
#include <cstdio>
#include <thread>

#include "TestReceipts.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;

int main(int argc, char** argv) {
    if (argc < 5) return 2;  // the arguments are named at the top
    auto opened = SQLiteTaskStore::open(argv[1]);
    if (!opened) {
        std::fprintf(stderr, "%s\n", opened.error().description().c_str());
        return 1;
    }
    auto& store = **opened;
    // Widens the window between pre-check and transaction, as a slow machine would.
    store.setImportFaultHook([](SQLiteTaskStore::ImportStage stage) -> Result<void, StoreError> {
        if (stage == SQLiteTaskStore::ImportStage::beforeTransaction)
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        return {};
    });
    auto stored = [&](const InterventionReceipt& receipt) {
        const std::string raw = rawJSON(receipt);
        auto result = store.importReceipt(receipt, raw, SQLiteTaskStore::hash(raw));
        if (result && result->kind != StoreImportResult::Kind::versionConflict) return true;
        std::fprintf(stderr, "%s: %s\n", receipt.receiptId.c_str(),
                     result ? "version conflict" : result.error().description().c_str());
        return false;
    };
    std::vector<std::int64_t> versions;
    for (int i = 5; i < argc; ++i) versions.push_back(std::stoll(argv[i]));
    const std::size_t count = std::stoul(argv[4]);
    std::this_thread::sleep_until(
        std::chrono::system_clock::time_point(std::chrono::milliseconds(std::stoll(argv[2]))));
    for (std::size_t i = 0; i < std::max(versions.size(), count); ++i) {
        const auto only = i < versions.size() ? "only-v" + std::to_string(versions[i]) : "";
        if (!only.empty() &&
            !stored(makeReceipt("shared", versions[i], {makeItem("common"), makeItem(only)})))
            return 1;
        const auto own = std::string(argv[3]) + "-r" + std::to_string(i);
        if (i < count &&
            !stored(makeReceipt(
                own, 1, {makeItem("a", TaskPriority::high), makeItem("b", TaskPriority::low)})))
            return 1;
    }
    return 0;
}
