#pragma once

#include <string>
#include <variant>

#include "core/support/FileError.h"
#include "core/checks/ImportError.h"
#include "core/store/StoreError.h"

namespace kestrin {

// Why an import produced no outcome: the importer's own refusal, a store
// failure passed on unchanged, or (importFile only) a file that could not be
// read. Use std::get_if on `error` to tell them apart.
struct ImportFailure {
    std::variant<ImportError, StoreError, FileError> error;

    ImportFailure(ImportError refusal) : error(std::move(refusal)) {}
    ImportFailure(StoreError failure) : error(std::move(failure)) {}
    ImportFailure(FileError failure) : error(std::move(failure)) {}

    // The held error's own description, unchanged.
    std::string description() const;
};

}  // namespace kestrin
