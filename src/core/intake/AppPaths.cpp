#include "core/intake/AppPaths.h"

#include <limits.h>
#include <pwd.h>
#include <unistd.h>

#include <system_error>
#include <vector>

extern char** environ;

namespace kestrin {

namespace fs = std::filesystem;

namespace {

std::string variable(const AppPaths::Environment& environment, const std::string& name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
}

// "." and ".." removed and no trailing separator, so equal directories give
// equal paths.
fs::path standardised(const fs::path& location) {
    fs::path normal = location.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
    return normal;
}

// Symbolic links resolved (as far as the location exists), then standardised.
std::string comparable(const fs::path& location) {
    std::error_code code;
    fs::path resolved = fs::weakly_canonical(location, code);
    if (code) resolved = location;
    return standardised(resolved).string();
}

fs::path homeDirectory(const AppPaths::Environment& environment) {
    const std::string home = variable(environment, "HOME");
    if (!home.empty()) return home;
    // No HOME (a stripped environment): ask the user database.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return {};
}

// $TMPDIR where set; on macOS the system's per-user temporary directory
// otherwise. Empty when there is none beyond /tmp.
fs::path perUserTemporaryLocation(const AppPaths::Environment& environment) {
    if (const std::string value = variable(environment, "TMPDIR"); !value.empty()) return value;
#if defined(__APPLE__)
    char buffer[PATH_MAX];
    if (::confstr(_CS_DARWIN_USER_TEMP_DIR, buffer, sizeof buffer) > 0) return buffer;
#endif
    return {};
}

}  // namespace

AppPaths::AppPaths(fs::path root)
    : root_(std::move(root)),
      inbox_(root_ / "inbox"),
      processed_(root_ / "processed"),
      rejected_(root_ / "rejected"),
      backups_(root_ / "backups"),
      database_(root_ / "tasks.sqlite") {}

AppPaths::Environment AppPaths::processEnvironment() {
    Environment environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const auto equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        environment.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return environment;
}

fs::path AppPaths::userDataLocation(const Environment& environment) {
#if defined(__APPLE__)
    const fs::path home = homeDirectory(environment);
    if (home.empty()) return {};
    return standardised(home / "Library" / "Application Support");
#else
    // The XDG rule: only an absolute $XDG_DATA_HOME counts.
    const fs::path dataHome = variable(environment, "XDG_DATA_HOME");
    if (dataHome.is_absolute()) return standardised(dataHome);
    const fs::path home = homeDirectory(environment);
    if (home.empty()) return {};
    return standardised(home / ".local" / "share");
#endif
}

Result<AppPaths, FileError> AppPaths::defaultPaths(const Environment& environment) {
    const std::string override = variable(environment, homeVariable);
    if (!override.empty()) {
        fs::path root(override);
        if (root.is_relative()) {
            std::error_code code;
            const fs::path workingDirectory = fs::current_path(code);
            if (code) {
                return fail(FileError::fromCode(FileError::Kind::noDataLocation, override, code));
            }
            root = workingDirectory / root;
        }
        return AppPaths(standardised(root));
    }
    const fs::path location = userDataLocation(environment);
    if (location.empty() || !location.is_absolute()) {
        return fail(FileError{
            FileError::Kind::noDataLocation, location.string(), {}, "无法确定用户主目录"});
    }
    if (auto created = FileSystem::standard().createDirectories(location); !created) {
        return fail(created.error());
    }
    return AppPaths(location / defaultDirectoryName);
}

Result<void, FileError> AppPaths::ensureDirectories(FileSystem& fileManager) const {
    for (const fs::path* directory : {&root_, &inbox_, &processed_, &rejected_, &backups_}) {
        if (auto created = fileManager.createDirectories(*directory); !created) return created;
    }
    return {};
}

TaskDataEnvironment AppPaths::dataEnvironment(const Environment& environment) const {
    const std::string root = comparable(root_);
    const fs::path location = userDataLocation(environment);
    if (!location.empty() && root == comparable(location / defaultDirectoryName)) {
        return TaskDataEnvironment::standard;
    }
    std::vector<fs::path> temporaryLocations{"/tmp", "/private/tmp"};
    if (const fs::path perUser = perUserTemporaryLocation(environment); perUser.is_absolute()) {
        temporaryLocations.push_back(perUser);
    }
    for (const fs::path& temporary : temporaryLocations) {
        const std::string prefix = comparable(temporary);
        if (root == prefix || root.starts_with(prefix + "/")) return TaskDataEnvironment::temporary;
    }
    return TaskDataEnvironment::custom;
}

}  // namespace kestrin
