#include "cli/CommandContext.h"

#include <utility>

#include "cli/TerminalText.h"

namespace kestrin {

namespace {

constexpr std::string_view startFailureTitle = "无法启动本地任务库";

}  // namespace

CommandContext::CommandContext(AppPaths::Environment environment, ConsoleFacts console,
                               std::istream& input, std::ostream& output, std::ostream& errors)
    : environment_(std::move(environment)),
      console_(console),
      input_(input),
      output_(output),
      errors_(errors) {}

CommandContext::~CommandContext() = default;

std::optional<AppPaths> CommandContext::resolvePaths() {
    auto paths = AppPaths::defaultPaths(environment_);
    if (!paths) {
        refuse(startFailureTitle, paths.error());
        return std::nullopt;
    }
    return std::move(paths).value();
}

bool CommandContext::open() {
    if (store_) return true;
    auto paths = resolvePaths();
    if (!paths) return false;
    if (auto created = paths->ensureDirectories(); !created) {
        refuse(startFailureTitle, created.error());
        return false;
    }
    auto store = SQLiteTaskStore::open(paths->database());
    if (!store) {
        refuse(startFailureTitle, store.error());
        return false;
    }
    paths_ = std::move(paths);
    store_ = std::move(store).value();
    importer_ = std::make_unique<ReceiptImporter>(*store_);
    inboxScanner_ = std::make_unique<InboxScanner>(*paths_, *importer_);
    return true;
}

int CommandContext::refuse(std::string_view text) {
    warn(text);
    return exitRefused;
}

void CommandContext::warn(std::string_view text) {
    // Error texts can quote receipt content; none of it may steer a terminal.
    errors_ << TerminalText::printable(text, true) << '\n' << std::flush;
}

}  // namespace kestrin
