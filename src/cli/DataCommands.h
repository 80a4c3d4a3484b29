#pragma once

#include <string>
#include <vector>

#include "cli/CommandContext.h"

namespace kestrin {

// The data commands: import receipts, scan the inbox once. Each prints the
// desktop app's lines: accepted receipts on stdout, refusals on stderr, and
// returns exitRefused when anything was refused.
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

private:
    CommandContext& context_;
};

}  // namespace kestrin
