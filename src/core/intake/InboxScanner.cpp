#include "core/intake/InboxScanner.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <iterator>

#include "core/support/RandomUUID.h"

namespace kestrin {

namespace fs = std::filesystem;

namespace {

bool hasJSONExtension(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".json";
}

}  // namespace

InboxScanner::InboxScanner(AppPaths paths, const ReceiptImporter& importer, FileSystem& fileManager,
                           std::function<Timestamp()> clock)
    : paths_(std::move(paths)),
      importer_(importer),
      fileManager_(fileManager),
      clock_(std::move(clock)) {}

kestrin::Result<std::vector<InboxScanEvent>, FileError> InboxScanner::scanOnce() const {
    if (auto ensured = paths_.ensureDirectories(fileManager_); !ensured) {
        return fail(ensured.error());
    }
    auto entries = fileManager_.listVisibleEntries(paths_.inbox());
    if (!entries) return fail(entries.error());

    std::vector<std::string> names;
    std::copy_if(entries->begin(), entries->end(), std::back_inserter(names), hasJSONExtension);
    std::stable_sort(names.begin(), names.end());

    std::vector<InboxScanEvent> events;
    events.reserve(names.size());
    for (const std::string& name : names) events.push_back(handle(name));
    return events;
}

// Entries named *.json that are not regular files (a directory, a pipe) are not
// skipped: reading them fails, so the user sees them refused with the reason
// and they leave the inbox like any other refused file.
InboxScanEvent InboxScanner::handle(const std::string& filename) const {
    const fs::path file = paths_.inbox() / filename;
    auto bytes = fileManager_.readFile(file);
    auto imported = bytes ? importer_.importData(bytes.value())
                          : kestrin::Result<ImportOutcome, ImportFailure>(fail(bytes.error()));

    if (imported) {
        if (auto moved = move(file, paths_.processed()); !moved) {
            return {filename, InboxScanEvent::Result::acceptedButArchivingFailed(
                                  std::move(imported.value()), moved.error().description())};
        }
        return {filename, InboxScanEvent::Result::accepted(std::move(imported.value()))};
    }

    std::string reason = imported.error().description();
    // The reason file is a courtesy; the refusal stands without it.
    static_cast<void>(fileManager_.writeFileAtomically(
        paths_.rejected() / (file.stem().string() + ".reason.txt"), reason));
    if (auto moved = move(file, paths_.rejected()); !moved) {
        reason += "（此外，移动到 rejected 目录也失败：" + moved.error().description() + "）";
    }
    return {filename, InboxScanEvent::Result::rejected(std::move(reason))};
}

kestrin::Result<void, FileError> InboxScanner::move(const fs::path& file,
                                                    const fs::path& directory) const {
    fs::path target = directory / file.filename();
    if (fileManager_.exists(target)) {
        const std::string stem = file.stem().string();
        target = directory / (stem + "-" + uniqueSuffix(directory, stem) + ".json");
    }
    return fileManager_.moveItem(file, target);
}

std::string InboxScanner::uniqueSuffix(const fs::path& directory, const std::string& stem) const {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(clock_().time_since_epoch()).count();
    std::string suffix = std::to_string(seconds);
    if (!fileManager_.exists(directory / (stem + "-" + suffix + ".json"))) return suffix;
    return randomUUIDText();
}

}  // namespace kestrin
