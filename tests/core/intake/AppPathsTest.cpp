#include <gtest/gtest.h>

#include <fstream>

#include "core/intake/AppPaths.h"
#include "support/ScratchDirectory.h"

using namespace kestrin;
using kestrin::testing::ScratchDirectory;
namespace fs = std::filesystem;

namespace {

fs::path rootOf(const AppPaths::Environment& environment) {
    auto paths = AppPaths::defaultPaths(environment);
    EXPECT_TRUE(paths) << paths.error().description();
    return paths ? paths->root() : fs::path();
}

#if defined(__APPLE__)
const fs::path kUserData = fs::path("Library") / "Application Support";
#else
const fs::path kUserData = fs::path(".local") / "share";
#endif

}  // namespace

TEST(AppPaths, KestrinHomeIsTakenAsGivenButStandardised) {
    const fs::path cwd = fs::current_path();
    const std::pair<const char*, fs::path> cases[] = {
        {"/srv/kestrin", "/srv/kestrin"},
        {"/srv/./a/../kestrin/", "/srv/kestrin"},
        {"data/../store", cwd / "store"},
        {"~/x", cwd / "~" / "x"},  // no tilde expansion
        {" /srv/k ", cwd / " " / "srv" / "k "},  // no trimming
    };
    for (const auto& [home, root] : cases) EXPECT_EQ(rootOf({{"KESTRIN_HOME", home}}), root) << home;
}

TEST(AppPaths, ResolvingCreatesOnlyTheUserDataLocation) {
    ScratchDirectory scratch;
    EXPECT_EQ(rootOf({{"KESTRIN_HOME", (scratch / "later").string()}}), scratch / "later");
    EXPECT_FALSE(fs::exists(scratch / "later"));
    // An empty KESTRIN_HOME counts as unset.
    const fs::path root = rootOf({{"KESTRIN_HOME", ""}, {"HOME", (scratch / "home").string()}});
    EXPECT_EQ(root, scratch / "home" / kUserData / "VelmoraKestrin");
    EXPECT_TRUE(fs::is_directory(root.parent_path()));
    EXPECT_FALSE(fs::exists(root));
#if !defined(__APPLE__)
    const std::string home = (scratch / "home").string();
    EXPECT_EQ(rootOf({{"HOME", home}, {"XDG_DATA_HOME", (scratch / "xdg").string()}}),
              scratch / "xdg" / "VelmoraKestrin");
    EXPECT_TRUE(fs::is_directory(scratch / "xdg"));
    // A relative value is ignored, as the XDG rules require.
    EXPECT_EQ(rootOf({{"HOME", home}, {"XDG_DATA_HOME", "rel"}}), root);
#endif
}

TEST(AppPaths, UserDataLocationThatCannotBeCreated) {
    ScratchDirectory scratch;
    std::ofstream(scratch / "file") << "x";
    auto paths = AppPaths::defaultPaths({{"HOME", (scratch / "file").string()},
                                         {"XDG_DATA_HOME", (scratch / "file" / "xdg").string()}});
    ASSERT_FALSE(paths);
    EXPECT_EQ(paths.error().kind, FileError::Kind::createDirectory);
    EXPECT_TRUE(paths.error().path.starts_with((scratch / "file").string()));
}

TEST(AppPaths, EnsureDirectoriesIsIdempotentAndStopsAtTheFirstFailure) {
    ScratchDirectory scratch;
    const AppPaths paths(scratch / "root");
    EXPECT_EQ(paths.database(), scratch / "root" / "tasks.sqlite");
    ASSERT_TRUE(paths.ensureDirectories());
    std::ofstream(paths.inbox() / "a.json") << "{}";
    ASSERT_TRUE(paths.ensureDirectories());
    EXPECT_TRUE(fs::exists(paths.inbox() / "a.json"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(paths.root())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"backups", "inbox", "processed", "rejected"}));

    const AppPaths blocked(scratch / "blocked");
    fs::create_directories(blocked.root());
    std::ofstream(blocked.processed()) << "a file where a directory belongs";
    auto created = blocked.ensureDirectories();
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error(), FileError::fromCode(FileError::Kind::createDirectory,
                                                   blocked.processed().string(),
                                                   std::make_error_code(std::errc::not_a_directory)));
    EXPECT_TRUE(fs::is_directory(blocked.inbox()));
    EXPECT_FALSE(fs::exists(blocked.rejected()));
}

TEST(AppPaths, ClassifiesTheDefaultDirectoryAsStandard) {
    ScratchDirectory scratch;
    const AppPaths::Environment environment{
        {"HOME", (scratch / "home").string()}, {"XDG_DATA_HOME", ""}, {"TMPDIR", ""}};
    const AppPaths standard(rootOf(environment));
    EXPECT_EQ(standard.dataEnvironment(environment), TaskDataEnvironment::standard);
    // Even through a symbolic link, once the directory exists.
    ASSERT_TRUE(standard.ensureDirectories());
    fs::create_directory_symlink(standard.root(), scratch / "link");
    EXPECT_EQ(AppPaths(scratch / "link" / "inbox" / "..").dataEnvironment(environment),
              TaskDataEnvironment::standard);
    // Without a known home, standard cannot match.
    EXPECT_NE(standard.dataEnvironment({{"HOME", "/nonexistent-home-for-test"}}),
              TaskDataEnvironment::standard);
}

TEST(AppPaths, ClassifiesTemporaryAndCustomLocations) {
    const AppPaths::Environment environment{{"HOME", "/nonexistent-home-for-test"},
                                            {"TMPDIR", "/var/tmp-for-test/T/"}};
    const std::pair<const char*, TaskDataEnvironment> cases[] = {
        {"/tmp", TaskDataEnvironment::temporary},
        {"/tmp/velmora/a", TaskDataEnvironment::temporary},
        {"/private/tmp/x", TaskDataEnvironment::temporary},
        {"/var/tmp-for-test/T/x", TaskDataEnvironment::temporary},
        {"/tmpfoo", TaskDataEnvironment::custom},
        {"/var/tmp-for-test/Tx", TaskDataEnvironment::custom},
        {"/srv/kestrin", TaskDataEnvironment::custom},
    };
    for (const auto& [root, expected] : cases) {
        EXPECT_EQ(AppPaths(root).dataEnvironment(environment), expected) << root;
    }
    EXPECT_EQ(AppPaths("/var/tmp-for-test/T/x").dataEnvironment({{"TMPDIR", ""}}),
              TaskDataEnvironment::custom);
}
