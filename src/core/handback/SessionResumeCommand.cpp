#include "core/handback/SessionResumeCommand.h"

#include <regex>

#include "core/handback/SourceLinkResolver.h"
#include "core/support/ShellWord.h"
#include "core/support/TextTrimming.h"

namespace kestrin {

namespace {

constexpr std::string_view codexThreadPrefix = "codex://threads/";

std::optional<std::string> matching(const std::optional<std::string>& text,
                                    const std::regex& format) {
    if (!text) return std::nullopt;
    std::string candidate(trimmedText(*text));
    if (!std::regex_match(candidate, format)) return std::nullopt;
    return candidate;
}

std::optional<std::vector<std::string>> resumeArguments(const ReceiptSource& source) {
    static const std::regex lowerCaseUUID(
        "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    static const std::regex openCodeSession("ses_[0-9A-Za-z]{26}");
    switch (source.agent) {
        case AgentKind::claudeCode:
            if (auto id = matching(source.taskId, lowerCaseUUID)) {
                return std::vector<std::string>{"claude", "--resume", *id};
            }
            return std::nullopt;
        case AgentKind::openCode:
            if (auto id = matching(source.taskId, openCodeSession)) {
                return std::vector<std::string>{"opencode", "--session", *id};
            }
            return std::nullopt;
        case AgentKind::codex:
            // The resolver rebuilds the link from a canonical lower-case UUID.
            if (auto link = SourceLinkResolver().resolve(source).url) {
                return std::vector<std::string>{"codex", "resume",
                                                link->substr(codexThreadPrefix.size())};
            }
            return std::nullopt;
        case AgentKind::other:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SessionResumeCommand> SessionResumeCommand::forTask(const TaskRecord& task) {
    if (task.project.path.empty() || task.project.path.front() != '/') return std::nullopt;
    auto arguments = resumeArguments(task.source);
    if (!arguments) return std::nullopt;
    return SessionResumeCommand{std::move(*arguments), task.project.path};
}

std::string SessionResumeCommand::shellLine() const {
    // Appended piece by piece: g++ 12 at -O2 warns falsely (-Wrestrict) on "cd " + ....
    std::string line = "cd ";
    line += ShellWord::quoted(workingDirectory);
    line += " &&";
    for (const auto& argument : arguments) {
        line += ' ';
        line += ShellWord::quoted(argument);
    }
    return line;
}

}  // namespace kestrin
