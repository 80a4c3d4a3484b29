#pragma once

#include <cstddef>
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
    // The largest receipt accepted, in raw bytes. Real receipts are a few
    // kilobytes; the limit keeps every check of one receipt well within a second.
    static constexpr std::size_t maxReceiptBytes = std::size_t{8} << 20;

    ReceiptImporter(SQLiteTaskStore& store, ReceiptValidator validator = {},
                    SecretScanner scanner = {});

    // Checks and stores one receipt given as its raw bytes, in this fixed
    // order, each step only when the previous passed: at most maxReceiptBytes
    // (tooLarge, before anything else is examined); UTF-8 (notUTF8); secret
    // scan of the raw text and of its escape-resolved view (secret, or
    // unscannable when the scan could not be finished); JSON
    // decoding (malformed); validation, refusing on any error-severity issue
    // (invalid); SHA-256 of the raw bytes; the store's import under the store's
    // lock (a StoreError is passed on unchanged; the store's versionConflict
    // becomes versionConflict). A refused receipt leaves the database untouched.
    Result<ImportOutcome, ImportFailure> importData(std::string_view bytes) const;

    // Reads the file at `location` and imports its bytes as importData does. A
    // read failure is returned as a FileError before any check runs; of a file
    // over maxReceiptBytes only enough is read to refuse it as tooLarge.
    Result<ImportOutcome, ImportFailure> importFile(const std::filesystem::path& location) const;

private:
    SQLiteTaskStore& store_;
    ReceiptValidator validator_;
    SecretScanner scanner_;
};

}  // namespace kestrin
