#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/FileError.h"
#include "core/support/Result.h"

namespace kestrin {

// The file operations the intake performs, in one place so that tests can make
// any of them fail on demand by overriding it. The base class works on the real
// file system; standard() is a shared instance of it. Every operation reports
// failure as a FileError value and never throws.
class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem() = default;

    static FileSystem& standard();

    // Creates `directory` and any missing parents; an existing directory is fine.
    virtual Result<void, FileError> createDirectories(const std::filesystem::path& directory);

    // The names of the direct entries of `directory`, unsorted, without hidden
    // entries (names beginning with "." and, on macOS, entries flagged hidden).
    virtual Result<std::vector<std::string>, FileError> listVisibleEntries(
        const std::filesystem::path& directory);

    // Whether anything (a file, a directory, even a dangling symbolic link)
    // exists at `location`.
    virtual bool exists(const std::filesystem::path& location);

    // The whole content of the regular file at `location`. Anything that is not
    // a regular file (a directory, a pipe) fails without blocking.
    virtual Result<std::string, FileError> readFile(const std::filesystem::path& location);

    // Replaces the file at `location` with `content` in one step: readers see
    // the old content or the new one, never a part.
    virtual Result<void, FileError> writeFileAtomically(const std::filesystem::path& location,
                                                        std::string_view content);

    // Renames `from` to `to`; fails, and leaves both untouched, when something
    // already exists at `to`.
    virtual Result<void, FileError> moveItem(const std::filesystem::path& from,
                                             const std::filesystem::path& to);
};

}  // namespace kestrin
