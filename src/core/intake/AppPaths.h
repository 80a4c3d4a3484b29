#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "core/support/FileError.h"
#include "core/support/FileSystem.h"
#include "core/support/Result.h"
#include "core/intake/TaskDataEnvironment.h"

namespace kestrin {

// Where one user's data lives: the data directory and the fixed members inside
// it. Every location is absolute and derived from the root by one rule, so two
// programs that agree on the root agree on everything. Compared by value.
class AppPaths {
public:
    // The process environment as name -> value.
    using Environment = std::map<std::string, std::string>;

    // The name of the default data directory and of the variable overriding it.
    static constexpr const char* defaultDirectoryName = "VelmoraKestrin";
    static constexpr const char* homeVariable = "KESTRIN_HOME";

    // Derives the members from `root`, which should be absolute and standardised.
    explicit AppPaths(std::filesystem::path root);

    // Resolves the data directory. A non-empty KESTRIN_HOME is taken as given
    // (relative to the working directory, no tilde expansion, "." and ".."
    // removed lexically, symbolic links kept). Otherwise the per-user data
    // location (~/Library/Application Support on macOS, $XDG_DATA_HOME or
    // ~/.local/share elsewhere) is created if missing and "VelmoraKestrin" is
    // appended. Creates nothing else. Fails with noDataLocation or
    // createDirectory when the per-user location cannot be found or created.
    // (Named so because `default` is reserved in C++.)
    static Result<AppPaths, FileError> defaultPaths(const Environment& environment);

    // The environment of this process.
    static Environment processEnvironment();

    // The per-user data location named by `environment` (not created), or an
    // empty path when it cannot be determined.
    static std::filesystem::path userDataLocation(const Environment& environment);

    // Creates root, inbox, processed, rejected and backups, in this order, with
    // missing parents; existing directories are fine. Stops at the first
    // failure, which is returned; the database file is not touched.
    Result<void, FileError> ensureDirectories(
        FileSystem& fileManager = FileSystem::standard()) const;

    // Classifies the root: `standard` when it is the default directory, else
    // `temporary` when it is (inside) "/tmp", "/private/tmp" or $TMPDIR, else
    // `custom`. Paths are compared after resolving symbolic links and "." and
    // "..". Never fails.
    TaskDataEnvironment dataEnvironment(
        const Environment& environment = processEnvironment()) const;

    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& inbox() const { return inbox_; }
    const std::filesystem::path& processed() const { return processed_; }
    const std::filesystem::path& rejected() const { return rejected_; }
    const std::filesystem::path& backups() const { return backups_; }
    // The SQLite database file, "tasks.sqlite" directly inside the root.
    const std::filesystem::path& database() const { return database_; }

    bool operator==(const AppPaths&) const = default;

private:
    std::filesystem::path root_;
    std::filesystem::path inbox_;
    std::filesystem::path processed_;
    std::filesystem::path rejected_;
    std::filesystem::path backups_;
    std::filesystem::path database_;
};

}  // namespace kestrin
