#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "core/intake/AppPaths.h"
#include "core/intake/BuildInfo.h"
#include "support/ScratchDirectory.h"

using namespace kestrin;
using kestrin::testing::ScratchDirectory;
namespace fs = std::filesystem;

namespace {

AppPaths resolved(const AppPaths::Environment& environment) {
    auto paths = AppPaths::defaultPaths(environment);
    EXPECT_TRUE(paths) << paths.error().description();
    return paths ? paths.value() : AppPaths("/");
}

}  // namespace

TEST(AppPaths, DerivesEveryLocationFromTheRoot) {
    const AppPaths paths("/data/store");
    EXPECT_EQ(paths.root(), "/data/store");
    EXPECT_EQ(paths.inbox(), "/data/store/inbox");
    EXPECT_EQ(paths.processed(), "/data/store/processed");
    EXPECT_EQ(paths.rejected(), "/data/store/rejected");
    EXPECT_EQ(paths.backups(), "/data/store/backups");
    EXPECT_EQ(paths.database(), "/data/store/tasks.sqlite");
    EXPECT_EQ(paths, AppPaths("/data/store"));
    EXPECT_NE(paths, AppPaths("/data/other"));
}

TEST(AppPaths, ProductVersion) {
    EXPECT_EQ(BuildInfo::productVersion, "0.3.3");
}

TEST(AppPaths, KestrinHomeIsTakenAsGivenButStandardised) {
    const fs::path cwd = fs::current_path();
    EXPECT_EQ(resolved({{"KESTRIN_HOME", "/srv/kestrin"}}).root(), "/srv/kestrin");
    EXPECT_EQ(resolved({{"KESTRIN_HOME", "/srv/./a/../kestrin/"}}).root(), "/srv/kestrin");
    EXPECT_EQ(resolved({{"KESTRIN_HOME", "data/../store"}}).root(), cwd / "store");
    // No tilde expansion and no trimming.
    EXPECT_EQ(resolved({{"KESTRIN_HOME", "~/x"}}).root(), cwd / "~" / "x");
    EXPECT_EQ(resolved({{"KESTRIN_HOME", " /srv/k "}}).root(), cwd / " " / "srv" / "k ");
}

TEST(AppPaths, ResolvingCreatesOnlyTheUserDataLocation) {
    ScratchDirectory scratch;
    const auto home = scratch / "home";
    // A KESTRIN_HOME that does not exist yet is fine and is not created.
    EXPECT_EQ(resolved({{"KESTRIN_HOME", (scratch / "later").string()}}).root(), scratch / "later");
    EXPECT_FALSE(fs::exists(scratch / "later"));

#if defined(__APPLE__)
    const fs::path location = home / "Library" / "Application Support";
#else
    const fs::path location = home / ".local" / "share";
#endif
    // An empty KESTRIN_HOME counts as unset.
    const AppPaths paths = resolved({{"KESTRIN_HOME", ""}, {"HOME", home.string()}});
    EXPECT_EQ(paths.root(), location / "VelmoraKestrin");
    EXPECT_TRUE(fs::is_directory(location));
    EXPECT_FALSE(fs::exists(paths.root()));
}

#if !defined(__APPLE__)
TEST(AppPaths, XdgDataHomeWhenAbsolute) {
    ScratchDirectory scratch;
    EXPECT_EQ(resolved({{"HOME", (scratch / "home").string()},
                        {"XDG_DATA_HOME", (scratch / "xdg").string()}})
                  .root(),
              scratch / "xdg" / "VelmoraKestrin");
    EXPECT_TRUE(fs::is_directory(scratch / "xdg"));
    // A relative value is ignored, as the XDG rules require.
    EXPECT_EQ(resolved({{"HOME", (scratch / "home").string()}, {"XDG_DATA_HOME", "rel"}}).root(),
              scratch / "home" / ".local" / "share" / "VelmoraKestrin");
}
#endif

TEST(AppPaths, UserDataLocationThatCannotBeCreated) {
    ScratchDirectory scratch;
    std::ofstream(scratch / "file") << "x";
    auto paths = AppPaths::defaultPaths({{"HOME", (scratch / "file").string()},
                                         {"XDG_DATA_HOME", (scratch / "file" / "xdg").string()}});
    ASSERT_FALSE(paths);
    EXPECT_EQ(paths.error().kind, FileError::Kind::createDirectory);
    EXPECT_TRUE(paths.error().description().starts_with("无法创建目录 " + scratch.path().string() +
                                                        "/file/"))
        << paths.error().description();
}

TEST(AppPaths, EnsureDirectoriesIsIdempotent) {
    ScratchDirectory scratch;
    const AppPaths paths(scratch / "root");
    ASSERT_TRUE(paths.ensureDirectories());
    for (const auto& directory :
         {paths.root(), paths.inbox(), paths.processed(), paths.rejected(), paths.backups()}) {
        EXPECT_TRUE(fs::is_directory(directory)) << directory;
    }
    EXPECT_FALSE(fs::exists(paths.database()));
    std::ofstream(paths.inbox() / "a.json") << "{}";
    ASSERT_TRUE(paths.ensureDirectories());
    EXPECT_TRUE(fs::exists(paths.inbox() / "a.json"));
}

TEST(AppPaths, EnsureDirectoriesStopsAtTheFirstFailure) {
    ScratchDirectory scratch;
    const AppPaths paths(scratch / "root");
    fs::create_directories(paths.root());
    std::ofstream(paths.processed()) << "a file where a directory belongs";
    auto created = paths.ensureDirectories();
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().kind, FileError::Kind::createDirectory);
    EXPECT_EQ(created.error().path, paths.processed().string());
    EXPECT_EQ(created.error().description(),
              "无法创建目录 " + paths.processed().string() + "：Not a directory");
    EXPECT_TRUE(fs::is_directory(paths.inbox()));
    EXPECT_FALSE(fs::exists(paths.rejected()));
}

TEST(AppPaths, ClassifiesTheDefaultDirectoryAsStandard) {
    ScratchDirectory scratch;
    const AppPaths::Environment environment{
        {"HOME", (scratch / "home").string()}, {"XDG_DATA_HOME", ""}, {"TMPDIR", ""}};
    const AppPaths standard = resolved(environment);
    EXPECT_EQ(standard.dataEnvironment(environment), TaskDataEnvironment::standard);
    // Even through a symbolic link, once the directory exists.
    ASSERT_TRUE(standard.ensureDirectories());
    fs::create_directory_symlink(standard.root(), scratch / "link");
    EXPECT_EQ(AppPaths(scratch / "link").dataEnvironment(environment),
              TaskDataEnvironment::standard);
    EXPECT_EQ(AppPaths(scratch / "link" / "inbox" / "..").dataEnvironment(environment),
              TaskDataEnvironment::standard);
    // Without a known home, standard cannot match.
    EXPECT_NE(standard.dataEnvironment({{"HOME", "/nonexistent-home-for-test"}}),
              TaskDataEnvironment::standard);
}

TEST(AppPaths, ClassifiesTemporaryAndCustomLocations) {
    const AppPaths::Environment environment{{"HOME", "/nonexistent-home-for-test"},
                                            {"TMPDIR", "/var/tmp-for-test/T/"}};
    const auto classify = [&](const char* root) {
        return AppPaths(root).dataEnvironment(environment);
    };
    EXPECT_EQ(classify("/tmp"), TaskDataEnvironment::temporary);
    EXPECT_EQ(classify("/tmp/velmora/a"), TaskDataEnvironment::temporary);
    EXPECT_EQ(classify("/private/tmp/x"), TaskDataEnvironment::temporary);
    EXPECT_EQ(classify("/var/tmp-for-test/T/x"), TaskDataEnvironment::temporary);
    EXPECT_EQ(classify("/tmpfoo"), TaskDataEnvironment::custom);
    EXPECT_EQ(classify("/var/tmp-for-test/Tx"), TaskDataEnvironment::custom);
    EXPECT_EQ(classify("/srv/kestrin"), TaskDataEnvironment::custom);
    EXPECT_EQ(AppPaths("/var/tmp-for-test/T/x").dataEnvironment({{"TMPDIR", ""}}),
              TaskDataEnvironment::custom);
}

TEST(AppPaths, DisplayNames) {
    EXPECT_EQ(displayName(TaskDataEnvironment::standard), "正式任务库");
    EXPECT_EQ(displayName(TaskDataEnvironment::temporary), "隔离测试库");
    EXPECT_EQ(displayName(TaskDataEnvironment::custom), "自定义任务库");
}
