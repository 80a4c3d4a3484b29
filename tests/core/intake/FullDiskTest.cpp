// Mount namespaces and tmpfs size limits are Linux facilities.
#if defined(__linux__)

// The store on a file system that runs out of space: imports are refused with
// the store's own text and leave nothing half-written, what is stored stays
// readable, and imports work again once space is freed. The file system is a
// small tmpfs in a mount namespace of the test's own; where the kernel or the
// user may not make one, the test is skipped and says why.

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include "core/intake/ReceiptImporter.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

std::string failed(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path);
    return static_cast<bool>(file << text << std::flush);
}

// A user or group namespace map that maps `id` to itself.
std::string identityMap(unsigned id) {
    return std::to_string(id) + " " + std::to_string(id) + " 1";
}

// A tmpfs of limited size mounted at a fresh directory, visible to this process
// (and its children) only, and unmounted when destroyed; leftovers vanish with
// the process at the latest.
//
// Root only needs a mount namespace of its own. Anyone else also enters a new
// user namespace in which they keep their own user and group (mapped to
// themselves, so files keep their owners); the capabilities it grants are
// dropped again once the tmpfs is gone, so that later tests in this process
// meet the usual permission checks.
class SmallFileSystem {
public:
    // The mounted file system, or null with the reason in `whyNot`.
    static std::unique_ptr<SmallFileSystem> mount(const std::string& size, std::string& whyNot) {
        std::string pattern = std::filesystem::temp_directory_path() / "velmora-small-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            whyNot = failed("mkdtemp");
            return nullptr;
        }
        std::unique_ptr<SmallFileSystem> disk(new SmallFileSystem(pattern));
        whyNot = disk->enterOwnMountNamespace();
        if (whyNot.empty() && ::mount("tmpfs", pattern.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                                      ("size=" + size + ",mode=0700").c_str()) != 0) {
            whyNot = failed("mount -t tmpfs");
        }
        if (!whyNot.empty()) return nullptr;
        disk->mounted_ = true;
        return disk;
    }

    ~SmallFileSystem() {
        if (mounted_) ::umount2(root_.c_str(), MNT_DETACH);
        if (ownUserNamespace_) dropCapabilities();
        ::rmdir(root_.c_str());
    }

    const std::filesystem::path& root() const { return root_; }

private:
    explicit SmallFileSystem(std::filesystem::path root) : root_(std::move(root)) {}

    // Empty on success, else why not.
    std::string enterOwnMountNamespace() {
        const uid_t user = ::geteuid();
        const gid_t group = ::getegid();
        if (user != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                return failed("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
            }
            ownUserNamespace_ = true;
            if (!writeFile("/proc/self/setgroups", "deny") ||
                !writeFile("/proc/self/uid_map", identityMap(user)) ||
                !writeFile("/proc/self/gid_map", identityMap(group))) {
                return failed("mapping the user into a new user namespace");
            }
        } else if (::unshare(CLONE_NEWNS) != 0) {
            return failed("unshare(CLONE_NEWNS)");
        }
        // Otherwise the mount would propagate into the namespace we came from.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return failed("making the mounts private");
        }
        return {};
    }

    static void dropCapabilities() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[2] = {};
        ::syscall(SYS_capset, &header, none);
    }

    std::filesystem::path root_;
    bool mounted_ = false;
    bool ownUserNamespace_ = false;
};

constexpr int itemsPerReceipt = 10;

// Receipt `index`, with enough items that each import writes several pages.
std::string receiptText(int index) {
    std::vector<InterventionItem> items;
    for (int item = 0; item < itemsPerReceipt; ++item) {
        items.push_back(
            makeItem("item-" + std::to_string(item), TaskPriority::high, {"step-1", "step-2"}));
    }
    return rawJSON(makeReceipt("rc-full-" + std::to_string(index), 1, std::move(items)));
}

class FullDisk : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        std::string whyNot;
        // About 1 MiB: the empty database and its shared-memory index take
        // about a tenth, so space runs out after a few dozen imports.
        disk = SmallFileSystem::mount("1m", whyNot);
        if (!disk) {
            GTEST_SKIP() << "cannot mount a small tmpfs for the store here (needs root or "
                            "unprivileged user namespaces): "
                         << whyNot;
        }
        databasePath = disk->root() / "tasks.sqlite";
        auto opened = SQLiteTaskStore::open(databasePath);
        ASSERT_TRUE(opened) << opened.error().description();
        store = std::move(opened).value();
        importer.emplace(*store);
    }

    void TearDown() override {
        importer.reset();
        StoreFixture::TearDown();  // closes every connection to the tmpfs first
        disk.reset();
    }

    std::unique_ptr<SmallFileSystem> disk;
    std::optional<ReceiptImporter> importer;
};

TEST_F(FullDisk, ImportsFailWholeWithTheStoresTextAndWorkAgainOnceSpaceIsFreed) {
    // Space that can be given back later.
    const auto ballast = disk->root() / "ballast";
    ASSERT_TRUE(writeFile(ballast, std::string(256 * 1024, 'b')));

    int stored = 0;
    std::vector<std::string> before;
    std::optional<ImportFailure> failure;
    for (; stored < 200; ++stored) {
        before = contents();
        auto result = importer->importData(receiptText(stored));
        if (!result) {
            failure = result.error();
            break;
        }
        ASSERT_EQ(result->result, StoreImportResult::inserted(itemsPerReceipt));
    }
    ASSERT_TRUE(failure) << "the store never ran out of space";
    ASSERT_GT(stored, 0) << "no import fitted at all: " << failure->description();
    const std::string diskFull = "任务数据库操作失败：database or disk is full";
    EXPECT_EQ(failure->description(), diskFull);
    EXPECT_EQ(contents(), before);

    // Still full: every further import is refused the same way, while what is
    // stored can be read and checked.
    auto again = importer->importData(receiptText(stored + 1));
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().description(), diskFull);
    EXPECT_EQ(contents(), before);
    auto tasks = store->listTasks(false, currentTimestamp());
    ASSERT_TRUE(tasks) << tasks.error().description();
    EXPECT_EQ(tasks->size(), static_cast<std::size_t>(stored * itemsPerReceipt));
    auto integrity = store->verifyIntegrity();
    EXPECT_TRUE(integrity) << integrity.error().description();

    std::filesystem::remove(ballast);
    auto retried = importer->importData(receiptText(stored));
    ASSERT_TRUE(retried) << retried.error().description();
    EXPECT_EQ(retried->result, StoreImportResult::inserted(itemsPerReceipt));
    EXPECT_EQ(value("SELECT COUNT(*) FROM receipts"), std::to_string(stored + 1));
    EXPECT_EQ(value("SELECT COUNT(*) FROM tasks"), std::to_string((stored + 1) * itemsPerReceipt));
    integrity = store->verifyIntegrity();
    EXPECT_TRUE(integrity) << integrity.error().description();
}

}  // namespace

#endif  // defined(__linux__)
