#include "core/intake/ReceiptImporter.h"

#include <mutex>

#include "core/support/FileSystem.h"
#include "core/receipt/ReceiptJSON.h"
#include "core/support/UTF8.h"

namespace kestrin {

ReceiptImporter::ReceiptImporter(SQLiteTaskStore& store, ReceiptValidator validator,
                                 SecretScanner scanner)
    : store_(store), validator_(std::move(validator)), scanner_(std::move(scanner)) {}

Result<ImportOutcome, ImportFailure> ReceiptImporter::importData(std::string_view bytes) const {
    if (!isValidUTF8(bytes)) return fail(ImportError::notUTF8());

    // The raw text and its escape-resolved view, so that a secret cannot slip
    // through as "\u0073k-..." or as a token whose slashes are written "\/".
    if (auto findings = scanner_.scanReceiptText(bytes); !findings.empty()) {
        return fail(ImportError::secret(std::move(findings)));
    }

    auto decoded = ReceiptJSON::makeDecoder().decodeReceipt(bytes);
    if (!decoded) return fail(ImportError::malformed(decoded.error().message()));
    InterventionReceipt& receipt = decoded.value();

    std::vector<ValidationIssue> errors;
    std::vector<ValidationIssue> warnings;
    for (ValidationIssue& issue : validator_.validate(receipt)) {
        (issue.severity == ValidationIssue::Severity::error ? errors : warnings)
            .push_back(std::move(issue));
    }
    if (!errors.empty()) return fail(ImportError::invalid(std::move(errors)));

    const std::string rawHash = SQLiteTaskStore::hash(bytes);
    auto stored = [&] {
        std::lock_guard guard(store_.lock());
        return store_.importReceipt(receipt, bytes, rawHash);
    }();
    if (!stored) return fail(stored.error());
    if (stored->kind == StoreImportResult::Kind::versionConflict) {
        return fail(ImportError::versionConflict(receipt.receiptId, receipt.version));
    }
    return ImportOutcome{std::move(receipt), stored.value(), std::move(warnings)};
}

Result<ImportOutcome, ImportFailure> ReceiptImporter::importFile(
    const std::filesystem::path& location) const {
    auto bytes = FileSystem::standard().readFile(location);
    if (!bytes) return fail(bytes.error());
    return importData(bytes.value());
}

}  // namespace kestrin
