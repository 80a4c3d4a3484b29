#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/store/SQLiteTaskStore.h"
#include "support/ScratchDirectory.h"

using namespace kestrin;
using kestrin::testing::ScratchDirectory;

// Programs started together on a new data home (several agents' servers at
// once) all open the one new file; none may fail as locked.
TEST(SQLiteTaskStoreOpenTogether, StoresOpeningOneNewFileTogetherAllSucceed) {
    for (int round = 0; round < 20; ++round) {
        ScratchDirectory directory;
        const auto path = directory.path() / "kestrin.sqlite";
        std::atomic<bool> go{false};
        std::vector<std::string> failures(8);
        std::vector<std::thread> openers;
        for (auto& failure : failures) {
            openers.emplace_back([&] {
                while (!go) std::this_thread::yield();
                auto store = SQLiteTaskStore::open(path);
                if (!store) failure = store.error().description();
            });
        }
        go = true;
        for (auto& opener : openers) opener.join();
        for (const auto& failure : failures) ASSERT_EQ(failure, "") << "round " << round;
    }
}
