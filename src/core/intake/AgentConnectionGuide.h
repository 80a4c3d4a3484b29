#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// What a user adds to each agent so that it starts this installation's
// kestrin-mcp with the result tool on: for Codex and Claude Code their
// `mcp add` command, for OpenCode its configuration entry. Shown by the
// desktop app's "连接 Agent…" and printed by `velmora-cli connect`.
class AgentConnectionGuide {
public:
    struct Entry {
        std::string agent;        // "codex", "claude" or "opencode"
        std::string displayName;  // "Codex", "Claude Code", "OpenCode"
        std::string where;        // where the text goes, for the human
        std::string text;         // the exact command or configuration
    };

    // `server` is the absolute path of kestrin-mcp; `home` the data directory
    // to pass as KESTRIN_HOME, none for the default one.
    AgentConnectionGuide(std::filesystem::path server, std::optional<std::filesystem::path> home);

    // The kestrin-mcp beside the running program `executable`, or the build
    // tree's (src/mcp beside src/cli and src/app) when only that one exists;
    // the one beside it when neither does.
    static std::filesystem::path serverBeside(const std::filesystem::path& executable);

    // Codex, Claude Code and OpenCode, in this order.
    std::vector<Entry> entries() const;

    // The entry for `agent` ("codex", "claude" or "opencode"), or none.
    std::optional<Entry> entry(std::string_view agent) const;

private:
    std::filesystem::path server_;
    std::optional<std::filesystem::path> home_;
};

}  // namespace kestrin
