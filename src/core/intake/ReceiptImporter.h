#pragma once

#include <filesystem>
#include <string_view>

#include "core/intake/ImportFailure.h"
#include "core/intake/ImportOutcome.h"
#include "core/checks/ReceiptValidator.h"
#include "core/support/Result.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/checks/SecretScanner.h"

namespace kestrin {

// The one gate every receipt passes on its way into the store, whatever road it
// came by. Keeps no state between calls; `store` must outlive the importer.
class ReceiptImporter {
public:
    ReceiptImporter(SQLiteTaskStore& store, ReceiptValidator validator = {},
                    SecretScanner scanner = {});

    // Checks and stores one receipt given as its raw bytes, in this fixed
    // order, each step only when the previous passed: UTF-8 (notUTF8); secret
    // scan of the raw text and of its escape-resolved view (secret); JSON
    // decoding (malformed); validation, refusing on any error-severity issue
    // (invalid); SHA-256 of the raw bytes; the store's import under the store's
    // lock (a StoreError is passed on unchanged; the store's versionConflict
    // becomes versionConflict). A refused receipt leaves the database untouched.
    Result<ImportOutcome, ImportFailure> importData(std::string_view bytes) const;

    // Reads the whole file at `location` and imports its bytes as importData
    // does. A read failure is returned as a FileError before any check runs.
    Result<ImportOutcome, ImportFailure> importFile(const std::filesystem::path& location) const;

private:
    SQLiteTaskStore& store_;
    ReceiptValidator validator_;
    SecretScanner scanner_;
};

}  // namespace kestrin
