#include "core/support/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kestrin {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::system_category()};
}

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now so that a failing close can be reported.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        content.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// rename(2) replaces an existing target silently; the intake must never
// overwrite a file that appeared at the target after it looked.
int renameNoReplace(const char* from, const char* to) {
#if defined(__APPLE__)
    const int result = ::renamex_np(from, to, RENAME_EXCL);
    if (result == 0 || (errno != ENOTSUP && errno != EINVAL)) return result;
#elif defined(__linux__)
    const int result = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    if (result == 0 || (errno != EINVAL && errno != ENOSYS)) return result;
#endif
    // The file system cannot rename exclusively: test, then rename.
    struct stat existing {};
    if (::lstat(to, &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

}  // namespace

FileSystem& FileSystem::standard() {
    static FileSystem instance;
    return instance;
}

Result<void, FileError> FileSystem::createDirectories(const fs::path& directory) {
    std::error_code code;
    fs::create_directories(directory, code);
    if (!code && !fs::is_directory(directory, code) && !code) {
        code = std::make_error_code(std::errc::not_a_directory);
    }
    if (code) return fail(FileError::fromCode(FileError::Kind::createDirectory, directory, code));
    return {};
}

Result<std::vector<std::string>, FileError> FileSystem::listVisibleEntries(
    const fs::path& directory) {
    const auto failure = [&](std::error_code code) {
        return fail(FileError::fromCode(FileError::Kind::listDirectory, directory, code));
    };
    std::error_code code;
    fs::directory_iterator entries(directory, code);
    if (code) return failure(code);
    std::vector<std::string> names;
    for (; entries != fs::directory_iterator(); entries.increment(code)) {
        std::string name = entries->path().filename().string();
        if (name.starts_with(".")) continue;
#if defined(__APPLE__)
        struct stat attributes {};
        if (::lstat(entries->path().c_str(), &attributes) == 0 &&
            (attributes.st_flags & UF_HIDDEN) != 0) {
            continue;
        }
#endif
        names.push_back(std::move(name));
    }
    if (code) return failure(code);
    return names;
}

bool FileSystem::exists(const fs::path& location) {
    std::error_code code;
    return fs::exists(fs::symlink_status(location, code));
}

Result<std::string, FileError> FileSystem::readFile(const fs::path& location) {
    const auto failure = [&](std::error_code code) {
        return fail(FileError::fromCode(FileError::Kind::readFile, location, code));
    };
    // Non-blocking so that a named pipe in the inbox cannot stall a pass.
    FileDescriptor file(::open(location.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) return failure(lastError());
    struct stat attributes {};
    if (::fstat(file.get(), &attributes) != 0) return failure(lastError());
    if (S_ISDIR(attributes.st_mode)) {
        return failure(std::make_error_code(std::errc::is_a_directory));
    }
    if (!S_ISREG(attributes.st_mode)) {
        return fail(FileError{FileError::Kind::readFile, location, {}, "不是普通文件"});
    }
    std::string content;
    content.reserve(static_cast<size_t>(attributes.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            return failure(lastError());
        }
        if (count == 0) break;
        content.append(buffer, static_cast<size_t>(count));
    }
    return content;
}

Result<void, FileError> FileSystem::writeFileAtomically(const fs::path& location,
                                                        std::string_view content) {
    const auto failure = [&](std::error_code code) {
        return fail(FileError::fromCode(FileError::Kind::writeFile, location, code));
    };
    // A hidden sibling, so the rename stays on one file system and a scan of
    // the directory never takes the half-written file.
    std::string temporaryName = ".";
    temporaryName += location.filename().string();
    temporaryName += ".XXXXXX";
    std::string temporary = (location.parent_path() / temporaryName).string();
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0) return failure(lastError());
    const bool written = writeAll(file.get(), content) && ::fchmod(file.get(), 0644) == 0;
    const std::error_code writeError = lastError();
    if (!file.close() || !written) {
        const std::error_code code = written ? lastError() : writeError;
        ::unlink(temporary.c_str());
        return failure(code);
    }
    if (::rename(temporary.c_str(), location.c_str()) != 0) {
        const std::error_code code = lastError();
        ::unlink(temporary.c_str());
        return failure(code);
    }
    return {};
}

Result<void, FileError> FileSystem::moveItem(const fs::path& from, const fs::path& to) {
    if (renameNoReplace(from.c_str(), to.c_str()) != 0) {
        return fail(FileError::fromCode(FileError::Kind::moveItem, from, lastError(), to));
    }
    return {};
}

}  // namespace kestrin
