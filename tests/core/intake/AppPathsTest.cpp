#include <gtest/gtest.h>

#include "core/intake/AppPaths.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;
using Environment = AppPaths::Environment;

namespace {

fs::path rootOf(const Environment& environment) {
    auto paths = AppPaths::defaultPaths(environment);
    EXPECT_TRUE(paths) << paths.error().description();
    return paths ? paths->root() : fs::path();
}

}  // namespace

// KESTRIN_HOME is standardised and not created; only the per-user data location is.
TEST(AppPaths, ResolvesClassifiesAndEnsuresTheRootAndItsDirectories) {
    EXPECT_EQ(rootOf({{"KESTRIN_HOME", "/srv/./a/../kestrin/"}}), "/srv/kestrin");
    EXPECT_EQ(rootOf({{"KESTRIN_HOME", "data/../store"}}), fs::current_path() / "store");
    ScratchDirectory scratch;
    EXPECT_EQ(rootOf({{"KESTRIN_HOME", (scratch / "later").string()}}), scratch / "later");
    EXPECT_FALSE(fs::exists(scratch / "later"));
#if defined(__APPLE__)
    const fs::path userData = scratch / "home" / "Library" / "Application Support";
#else
    const fs::path userData = scratch / "home" / ".local" / "share";
#endif
    const std::string home = (scratch / "home").string();
    const fs::path root = rootOf({{"KESTRIN_HOME", ""}, {"HOME", home}});  // empty is unset
    EXPECT_EQ(root, userData / "VelmoraKestrin");
    EXPECT_TRUE(fs::is_directory(userData));
    EXPECT_FALSE(fs::exists(root));
#if !defined(__APPLE__)
    const fs::path xdg = scratch / "xdg";
    EXPECT_EQ(rootOf({{"HOME", home}, {"XDG_DATA_HOME", xdg.string()}}), xdg / "VelmoraKestrin");
    // A relative value is ignored, as the XDG rules require.
    EXPECT_EQ(rootOf({{"HOME", home}, {"XDG_DATA_HOME", "rel"}}), root);
#endif
    std::ofstream(scratch / "file") << "x";
    auto blocked = AppPaths::defaultPaths({{"HOME", (scratch / "file").string()},
                                           {"XDG_DATA_HOME", (scratch / "file" / "x").string()}});
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().kind, FileError::Kind::createDirectory);
    // The classification; ensureDirectories is idempotent and stops at the first failure.
    const Environment environment{
        {"HOME", (scratch / "home").string()}, {"XDG_DATA_HOME", ""}, {"TMPDIR", ""}};
    const AppPaths standard(rootOf(environment));
    EXPECT_EQ(standard.dataEnvironment(environment), TaskDataEnvironment::standard);
    ASSERT_TRUE(standard.ensureDirectories());
    fs::create_directory_symlink(standard.root(), scratch / "link");
    // Without a known home, standard cannot match.
    EXPECT_NE(standard.dataEnvironment({{"HOME", "/nonexistent-home-for-test"}}),
              TaskDataEnvironment::standard);
    const Environment elsewhere{{"HOME", "/nonexistent-home"}, {"TMPDIR", "/var/tmp-for-test/T/"}};
    const std::tuple<fs::path, Environment, TaskDataEnvironment> cases[] = {
        // Even through a symbolic link and "..", once the directory exists.
        {scratch / "link" / "inbox" / "..", environment, TaskDataEnvironment::standard},
        {"/tmp", elsewhere, TaskDataEnvironment::temporary},
        {"/tmp/velmora/a", elsewhere, TaskDataEnvironment::temporary},
        {"/var/tmp-for-test/T/x", elsewhere, TaskDataEnvironment::temporary},
        {"/var/tmp-for-test/T/x", {{"TMPDIR", ""}}, TaskDataEnvironment::custom},
        {"/tmpfoo", elsewhere, TaskDataEnvironment::custom},
    };
    for (const auto& [at, names, expected] : cases)
        EXPECT_EQ(AppPaths(at).dataEnvironment(names), expected) << at;
    std::ofstream(standard.inbox() / "a.json") << "{}";
    ASSERT_TRUE(standard.ensureDirectories());
    EXPECT_EQ(namesIn(standard.inbox()), std::vector<std::string>{"a.json"});
    EXPECT_EQ(namesIn(standard.root()),
              (std::vector<std::string>{"backups", "inbox", "processed", "rejected"}));
    fs::remove(standard.rejected());
    fs::remove(standard.processed());
    std::ofstream(standard.processed()) << "a file where a directory belongs";
    auto created = standard.ensureDirectories();
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().path, standard.processed().string());
    EXPECT_FALSE(fs::exists(standard.rejected()));
}
