#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/CommandContext.h"

namespace kestrin {

// The data commands: import receipts and scan the inbox once, with the
// desktop app's lines (accepted receipts on stdout, refusals on stderr,
// exitRefused when anything was refused); export and restore archives, back up
// and restore the database through the archive manager, with the app's
// notices on stdout and its failure titles on stderr.
class DataCommands {
public:
    explicit DataCommands(CommandContext& context) : context_(context) {}

    // Imports each source in order through the importer: a file, or standard
    // input for "-". One line per source: its name (the file's last path
    // component, or "标准输入") + "：" + the outcome's message or the refusal.
    int importReceipts(const std::vector<std::string>& sources);

    // One inbox pass, with the app's line per file; "当前没有新的 JSON 回执。"
    // when there was nothing to do.
    int scan();

    // Writes the archive of the whole store to `file`, which must not exist
    // yet (never overwritten, and a write that fails halfway leaves no file).
    int exportArchive(const std::string& file);

    // Merges the archive `file` into the store, after confirmation.
    int restoreArchive(const std::string& file, bool confirmed);

    // A "manual" backup of the database into the backups directory.
    int backup();

    // Replaces the database with the backup `file`, after confirmation.
    int restoreDatabase(const std::string& file, bool confirmed);

private:
    // "当前环境：" + the environment's name + "\n当前数据库：" + the database.
    std::string currentDataContext() const;

    // exitSuccess when the restore may go on: `confirmed` (--yes), or the user
    // answered yes on the terminal to the app's question, written to stderr.
    // Without a terminal to ask on, or without a yes, exitRefused.
    int confirmRestore(const std::string& title, const std::filesystem::path& source,
                       const std::string& message, bool confirmed);

    CommandContext& context_;
};

}  // namespace kestrin
