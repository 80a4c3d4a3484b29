#pragma once

#include <functional>
#include <vector>

#include "core/intake/AppPaths.h"
#include "core/support/FileError.h"
#include "core/support/FileSystem.h"
#include "core/intake/InboxScanEvent.h"
#include "core/intake/ReceiptImporter.h"
#include "core/support/Result.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// Imports the receipt files dropped into the inbox directory and moves each out
// of the inbox: to `processed` when accepted, to `rejected` (with a reason file
// "<stem>.reason.txt" beside it) when refused. A file leaves the inbox only by a
// successful move, so one that cannot be moved is handled again next pass.
// Keeps no state between passes. `importer` and `fileManager` must outlive it.
class InboxScanner {
public:
    InboxScanner(AppPaths paths, const ReceiptImporter& importer,
                 FileSystem& fileManager = FileSystem::standard(),
                 std::function<Timestamp()> clock = currentTimestamp);

    // One pass, synchronously: creates the data directories, lists the inbox
    // (hidden entries skipped), takes the names whose extension is "json" in any
    // letter case, in ascending byte order of the name, and returns one event
    // per file in that order. A failure with one file never stops the pass.
    // Fails only when the directories cannot be created or the inbox listed.
    kestrin::Result<std::vector<InboxScanEvent>, FileError> scanOnce() const;

private:
    kestrin::Result<void, FileError> move(const std::filesystem::path& file,
                                          const std::filesystem::path& directory) const;
    std::string uniqueSuffix(const std::filesystem::path& directory, const std::string& stem) const;
    InboxScanEvent handle(const std::string& filename) const;

    AppPaths paths_;
    const ReceiptImporter& importer_;
    FileSystem& fileManager_;
    std::function<Timestamp()> clock_;
};

}  // namespace kestrin
