#include "core/intake/AgentConnectionGuide.h"

#include <nlohmann/json.hpp>

#include "core/intake/AgentResultTool.h"
#include "core/intake/AppPaths.h"
#include "core/support/ShellWord.h"

namespace kestrin {

namespace {

// The name under which every agent registers the server.
constexpr const char* serverName = "kestrin";

}  // namespace

AgentConnectionGuide::AgentConnectionGuide(std::filesystem::path server,
                                           std::optional<std::filesystem::path> home)
    : server_(std::move(server)), home_(std::move(home)) {}

std::filesystem::path AgentConnectionGuide::serverBeside(const std::filesystem::path& executable) {
    const auto directory = executable.parent_path();
    const auto installed = directory / "kestrin-mcp";
    const auto inTree = (directory.parent_path() / "mcp" / "kestrin-mcp").lexically_normal();
    std::error_code error;
    if (!std::filesystem::exists(installed, error) && std::filesystem::exists(inTree, error)) {
        return inTree;
    }
    return installed;
}

std::vector<AgentConnectionGuide::Entry> AgentConnectionGuide::entries() const {
    const std::string resultTool = std::string(AgentResultTool::environmentVariable) + "=1";
    const auto quoted = [](const std::string& text) { return ShellWord::quoted(text); };
    std::string environment = " --env " + quoted(resultTool);
    if (home_) {
        environment +=
            " --env " + quoted(std::string(AppPaths::homeVariable) + "=" + home_->string());
    }
    const std::string server = quoted(server_.string());

    nlohmann::ordered_json variables = {{AgentResultTool::environmentVariable, "1"}};
    if (home_) variables[AppPaths::homeVariable] = home_->string();
    const nlohmann::ordered_json openCode = {{"mcp",
                                              {{serverName,
                                                {{"type", "local"},
                                                 {"command", {server_.string()}},
                                                 {"enabled", true},
                                                 {"environment", variables}}}}}};

    return {
        {"codex", "Codex", "在终端运行（写入 ~/.codex/config.toml）：",
         std::string("codex mcp add") + environment + " " + serverName + " -- " + server},
        {"claude", "Claude Code", "在终端运行（--scope user 对所有项目生效）：",
         std::string("claude mcp add --scope user") + environment + " " + serverName + " -- " +
             server},
        {"opencode", "OpenCode",
         "合并到 opencode.json（项目的，或 ~/.config/opencode/opencode.json）：", openCode.dump(2)},
    };
}

std::optional<AgentConnectionGuide::Entry> AgentConnectionGuide::entry(
    std::string_view agent) const {
    for (auto& candidate : entries()) {
        if (candidate.agent == agent) return candidate;
    }
    return std::nullopt;
}

}  // namespace kestrin
