#pragma once

#include <string>
#include <system_error>

namespace kestrin {

// A failed file-system operation of the intake: what was attempted, on which
// location, and the system's explanation. `destination` is set for moves only.
struct FileError {
    enum class Kind {
        noDataLocation,   // the per-user data location could not be determined
        createDirectory,  // path: the directory that could not be created
        listDirectory,    // path: the directory that could not be listed
        readFile,         // path: the file that could not be read
        writeFile,        // path: the file that could not be written
        moveItem          // path: the source; destination: the target
    };

    Kind kind = Kind::readFile;
    std::string path;
    std::string destination;
    std::string reason;

    // Builds an error whose reason is the system's text for `code`.
    static FileError fromCode(Kind kind, std::string path, std::error_code code,
                              std::string destination = {});

    // The fixed Chinese text shown to the user, for example
    // "无法读取文件 /data/inbox/a.json：Is a directory".
    std::string description() const;

    bool operator==(const FileError&) const = default;
};

}  // namespace kestrin
