#pragma once

#include <string>
#include <variant>

#include "core/support/FileError.h"
#include "core/checks/ImportError.h"
#include "core/store/StoreError.h"
#include "core/store/TaskArchiveError.h"

namespace kestrin {

// Why a database backup, a database restore or an archive export or restore
// failed: the archive's own refusal (including unsafe backup and restore
// paths), a store failure, an importer refusal of an archived receipt, or a
// file operation. The store's backup and restore never hold an ImportError.
// Use std::get_if on `error` to tell them apart.
struct ArchiveFailure {
    std::variant<TaskArchiveError, StoreError, ImportError, FileError> error;

    ArchiveFailure() =
        default;  // for Result<void, ArchiveFailure>; holds a default TaskArchiveError
    ArchiveFailure(TaskArchiveError refusal) : error(std::move(refusal)) {}
    ArchiveFailure(StoreError failure) : error(std::move(failure)) {}
    ArchiveFailure(ImportError refusal) : error(std::move(refusal)) {}
    ArchiveFailure(FileError failure) : error(std::move(failure)) {}

    // The held error's own description, unchanged.
    std::string description() const {
        return std::visit([](const auto& held) { return held.description(); }, error);
    }
};

}  // namespace kestrin
