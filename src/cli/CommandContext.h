#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/ConsoleFacts.h"
#include "cli/ExitStatus.h"
#include "core/intake/AppPaths.h"
#include "core/intake/InboxScanner.h"
#include "core/intake/ReceiptImporter.h"
#include "core/store/SQLiteTaskStore.h"

namespace kestrin {

// What one run of velmora-cli works with: its environment, console and
// streams, and, once open() succeeded, the data directory, the task store,
// the importer and the inbox scanner, opened exactly as the desktop app and the MCP server open
// them (so all three can run at once on one database).
class CommandContext {
public:
    CommandContext(AppPaths::Environment environment, ConsoleFacts console, std::istream& input,
                   std::ostream& output, std::ostream& errors);
    ~CommandContext();
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    // Resolves the data directory from KESTRIN_HOME (or the default), creates
    // its directories and opens the store, once. On failure writes
    // "无法启动本地任务库：" and the error's text to `errors` and returns false.
    bool open();

    // The data directory from the environment, resolved without touching the
    // disk; writes the start-up failure and returns nothing when it cannot be
    // resolved.
    std::optional<AppPaths> resolvePaths();

    // Valid after a successful open().
    const AppPaths& paths() const { return *paths_; }
    SQLiteTaskStore& store() { return *store_; }
    const ReceiptImporter& importer() const { return *importer_; }
    const InboxScanner& inboxScanner() const { return *inboxScanner_; }

    const AppPaths::Environment& environment() const { return environment_; }
    const ConsoleFacts& console() const { return console_; }
    std::istream& input() { return input_; }
    std::ostream& output() { return output_; }
    std::ostream& errors() { return errors_; }

    // Writes `title` + "：" + the error's own description to `errors` as one
    // line and returns exitRefused.
    template <typename Error>
    int refuse(std::string_view title, const Error& error) {
        return refuse(std::string(title) + "：" + error.description());
    }
    // Writes `text` to `errors` as one line and returns exitRefused.
    int refuse(std::string_view text);
    // Writes `text` to `errors` as one line; the command goes on.
    void warn(std::string_view text);

private:
    AppPaths::Environment environment_;
    ConsoleFacts console_;
    std::istream& input_;
    std::ostream& output_;
    std::ostream& errors_;
    std::optional<AppPaths> paths_;
    std::unique_ptr<SQLiteTaskStore> store_;
    std::unique_ptr<ReceiptImporter> importer_;
    std::unique_ptr<InboxScanner> inboxScanner_;
};

}  // namespace kestrin
