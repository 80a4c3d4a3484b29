// The store on a disk that runs out of space; skipped, saying why, where no tmpfs can be mounted.

#if defined(__linux__)

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "core/intake/ReceiptImporter.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

constexpr int itemsPerReceipt = 10;

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool writeFile(const std::filesystem::path& path, const std::string& text) {
    return bool(std::ofstream(path) << text << std::flush);
}

// Receipt `index`, with enough items that each import writes several pages.
std::string receiptText(int index) {
    std::vector<std::string> items;
    for (int item = 0; item < itemsPerReceipt; ++item)
        items.push_back("item-" + std::to_string(item));
    return rawJSON(validReceipt("rc-full-" + std::to_string(index), 1, items));
}

// A private 1 MiB tmpfs; capabilities gained for it are dropped so later tests run as usual.
class FullDisk : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        std::filesystem::create_directory(disk = directory / "disk");
        if (const std::string whyNot = mountSmallDisk(); !whyNot.empty()) {
            GTEST_SKIP() << "cannot mount a tmpfs (needs root or user namespaces): " << whyNot;
        }
        store = SQLiteTaskStore::open(databasePath = disk / "tasks.sqlite").value();
        importer.emplace(*store);
    }
    void TearDown() override {
        importer.reset();
        StoreFixture::TearDown();  // closes every connection to the tmpfs first
        if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[2] = {};
        if (ownUserNamespace) ::syscall(SYS_capset, &header, none);
    }
    std::string mountSmallDisk() {
        const auto identity = [](unsigned id) {
            return std::to_string(id) + " " + std::to_string(id) + " 1";
        };
        if (const uid_t user = ::geteuid(), group = ::getegid(); user != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return failed("unshare(user, mount)");
            ownUserNamespace = true;
            if (!writeFile("/proc/self/setgroups", "deny") ||
                !writeFile("/proc/self/uid_map", identity(user)) ||
                !writeFile("/proc/self/gid_map", identity(group))) {
                return failed("mapping the user into a new user namespace");
            }
        } else if (::unshare(CLONE_NEWNS) != 0) {
            return failed("unshare(CLONE_NEWNS)");
        }
        // Otherwise the mount would propagate into the namespace we came from.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return failed("private mounts");
        mounted =
            ::mount("tmpfs", disk.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=0700") == 0;
        return mounted ? "" : failed("mount -t tmpfs");
    }
    std::filesystem::path disk;
    bool mounted = false, ownUserNamespace = false;
    std::optional<ReceiptImporter> importer;
};

TEST_F(FullDisk, ImportsFailWholeWithTheStoresTextAndWorkAgainOnceSpaceIsFreed) {
    const auto ballast = disk / "ballast";  // space to give back later
    ASSERT_TRUE(writeFile(ballast, std::string(256 * 1024, 'b')));
    int stored = 0;
    std::vector<std::string> before;
    std::string failure;
    for (; stored < 200; ++stored) {
        before = contents();
        auto result = importer->importData(receiptText(stored));
        if (!result) {
            failure = result.error().description();
            break;
        }
        ASSERT_EQ(result->result, StoreImportResult::inserted(itemsPerReceipt));
    }
    ASSERT_GT(stored, 0) << "no import fitted at all: " << failure;
    const std::string diskFull = "任务数据库操作失败：database or disk is full";
    EXPECT_EQ(failure, diskFull) << "the store never ran out of space";
    EXPECT_EQ(contents(), before);
    // Still full: refused the same way, while what is stored can be read and checked.
    auto again = importer->importData(receiptText(stored + 1));
    EXPECT_EQ(again ? "imported" : again.error().description(), diskFull);
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(store->listTasks(false, currentTimestamp())->size(),
              std::size_t(stored * itemsPerReceipt));
    EXPECT_TRUE(store->verifyIntegrity());
    std::filesystem::remove(ballast);
    auto retried = importer->importData(receiptText(stored));
    ASSERT_TRUE(retried) << retried.error().description();
    EXPECT_EQ(retried->result, StoreImportResult::inserted(itemsPerReceipt));
    EXPECT_EQ(value("SELECT COUNT(*) FROM receipts"), std::to_string(stored + 1));
    EXPECT_EQ(value("SELECT COUNT(*) FROM tasks"), std::to_string((stored + 1) * itemsPerReceipt));
    EXPECT_TRUE(store->verifyIntegrity());
}

}  // namespace

#endif  // defined(__linux__)
