#include "core/checks/CommandRiskPolicy.h"

#include <algorithm>
#include <bitset>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "core/checks/ShellCommandReader.h"

namespace kestrin {

namespace {

// "sh -c", eval, "su -c" and here-documents fed to a shell are read this many
// levels below the command line itself.
constexpr int kMaxScriptDepth = 2;

using Words = std::span<const std::string>;

std::string lowerCased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

std::string_view baseName(std::string_view word) {
    const std::size_t slash = word.rfind('/');
    return slash == std::string_view::npos ? word : word.substr(slash + 1);
}

bool isOneOf(std::string_view word, std::initializer_list<std::string_view> names) {
    for (const std::string_view name : names) {
        if (word == name) return true;
    }
    return false;
}

bool isAssignment(std::string_view word) {
    const std::size_t equals = word.find('=');
    if (equals == std::string_view::npos || equals == 0) return false;
    for (std::size_t i = 0; i < equals; ++i) {
        const char c = word[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
    }
    return true;
}

// A cluster of one-letter options such as "-rf" (not "--force", not "-").
bool isShortCluster(std::string_view word) {
    return word.size() >= 2 && word[0] == '-' && word[1] != '-';
}

bool clusterHas(std::string_view word, char option) {
    return isShortCluster(word) && word.find(option, 1) != std::string_view::npos;
}

bool isOption(std::string_view word) {
    return word.size() >= 2 && word[0] == '-';
}

bool contains(Words words, std::string_view word) {
    for (const std::string& each : words) {
        if (each == word) return true;
    }
    return false;
}

// Index of the first word after the options starting at `i`; `valued` options
// take the next word as their value, and "--" ends the options.
std::size_t skipOptions(Words words, std::size_t i,
                        std::initializer_list<std::string_view> valued = {}) {
    while (i < words.size() && isOption(words[i])) {
        if (words[i] == "--") return i + 1;
        i += isOneOf(words[i], valued) ? 2 : 1;
    }
    return i;
}

bool isBlockDevice(std::string_view path) {
    if (!path.starts_with("/dev/")) return false;
    const std::string_view name = path.substr(5);
    for (const std::string_view prefix :
         {"sd", "hd", "vd", "xvd", "nvme", "mmcblk", "disk", "rdisk", "loop", "md", "dm-",
          "mapper/"}) {
        if (name.starts_with(prefix)) return true;
    }
    return false;
}

bool isShell(std::string_view name) {
    return isOneOf(name, {"sh", "bash", "zsh", "dash", "ksh", "ash", "fish", "pwsh", "powershell"});
}

bool isInterpreter(std::string_view name) {
    return name.starts_with("python") || isOneOf(name, {"perl", "ruby", "node", "php"});
}

bool isSQLClient(std::string_view name) {
    return isOneOf(name, {"psql", "mysql", "mariadb", "sqlite3", "sqlcmd", "clickhouse-client",
                          "duckdb"});
}

// SQL text holding DROP TABLE / DATABASE / SCHEMA, TRUNCATE, or a DELETE FROM
// without WHERE in the same statement.
bool destroysSQLData(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        std::vector<std::string> tokens;
        std::string token;
        for (std::size_t i = start; i <= end; ++i) {
            const char c = i < end ? text[i] : ' ';
            const bool part = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '_';
            if (part) {
                token.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
            } else if (!token.empty()) {
                tokens.push_back(std::move(token));
                token.clear();
            }
        }
        for (std::size_t k = 0; k < tokens.size(); ++k) {
            const bool hasNext = k + 1 < tokens.size();
            if (tokens[k] == "DROP" && hasNext &&
                isOneOf(tokens[k + 1], {"TABLE", "DATABASE", "SCHEMA"})) {
                return true;
            }
            if (tokens[k] == "TRUNCATE") return true;
            if (tokens[k] == "DELETE" && hasNext && tokens[k + 1] == "FROM" &&
                std::find(tokens.begin() + static_cast<std::ptrdiff_t>(k), tokens.end(), "WHERE") ==
                    tokens.end()) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

// `path` (absolute) with ".", ".." and repeated slashes resolved, without a
// trailing slash; "/" for the root.
std::string normalised(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        const std::size_t slash = std::min(path.find('/', i), path.size());
        const std::string_view part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = slash + 1;
    }
    std::string result;
    for (const std::string_view part : parts) {
        result += '/';
        result += part;
    }
    return result.empty() ? "/" : result;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// True when `path` lies strictly inside the directory `directory`.
bool isWithin(std::string_view path, std::string_view directory) {
    if (directory == "/") return path != "/";
    return path.size() > directory.size() && path.starts_with(directory) &&
           path[directory.size()] == '/';
}

// What follows "~", "$HOME" or "${HOME}" when `word` starts with one of them
// as a whole name ("" or "/…"); nothing otherwise.
std::optional<std::string_view> homeRelative(std::string_view word) {
    for (const std::string_view home : {"~", "$HOME", "${HOME}"}) {
        if (!word.starts_with(home)) continue;
        const std::string_view rest = word.substr(home.size());
        if (rest.empty() || rest.front() == '/') return rest;
    }
    return std::nullopt;
}

// What the surroundings of one command tell about it.
struct Surroundings {
    bool stdinDownloaded = false;        // an earlier stage of its pipeline downloads
    bool substitutionDownloads = false;  // a command it substitutes downloads
    std::string_view input;              // its here-document or here-string
};

class Assessment {
  public:
    Assessment(std::string_view projectPath, std::string_view workingDirectory) {
        if (projectPath.starts_with('/')) {
            project_ = normalised(projectPath);
            // The usual home directories; elsewhere "~" stays unknown.
            for (const std::string_view root : {"/Users/", "/home/"}) {
                if (!project_.starts_with(root)) continue;
                const std::size_t end = project_.find('/', root.size());
                home_ = project_.substr(0, end);
            }
            if (project_ == "/root" || project_.starts_with("/root/")) home_ = "/root";
            base_ = project_;
        }
        if (!workingDirectory.empty()) base_ = resolve(workingDirectory);
    }

    void script(std::string_view text, int depth) {
        const std::vector<ShellCommand> commands = ShellCommandReader().read(text);
        // Per pipeline, the first stage that downloads and the last SQL client.
        std::vector<bool> downloads(commands.size());
        std::unordered_map<std::size_t, std::size_t> firstDownload;
        std::unordered_map<std::size_t, std::size_t> lastSQLClient;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const ShellCommand& c = commands[i];
            downloads[i] = isDownload(c.words);
            if (downloads[i] && !firstDownload.contains(c.pipeline)) {
                firstDownload[c.pipeline] = c.stage;
            }
            for (const std::string& word : c.words) {
                if (isSQLClient(baseName(word))) lastSQLClient[c.pipeline] = c.stage;
            }
        }
        for (const ShellCommand& c : commands) {
            Surroundings around;
            const auto download = firstDownload.find(c.pipeline);
            around.stdinDownloaded = download != firstDownload.end() && download->second < c.stage;
            for (const std::size_t i : c.substituted) around.substitutionDownloads |= downloads[i];
            around.input = c.input;
            for (const std::string& output : c.outputs) {
                if (isBlockDevice(output)) flag(CommandRisk::destroysData);
            }
            const auto client = lastSQLClient.find(c.pipeline);
            if (client != lastSQLClient.end() && client->second > c.stage && !c.words.empty() &&
                isOneOf(baseName(c.words.front()), {"echo", "printf"})) {
                sqlText(Words(c.words).subspan(1));
            }
            program(c.words, c.globs, around, depth);
        }
    }

    std::vector<CommandRisk> risks() const {
        std::vector<CommandRisk> result;
        for (const auto& c : allCases<CommandRisk>()) {
            if (!found_[static_cast<std::size_t>(c.value)]) continue;
            if (c.value == CommandRisk::deletesRecursively &&
                found_[static_cast<std::size_t>(CommandRisk::deletesOutsideProject)]) {
                continue;
            }
            result.push_back(c.value);
        }
        return result;
    }

  private:
    void flag(CommandRisk risk) { found_.set(static_cast<std::size_t>(risk)); }

    void nested(std::string_view text, int depth) {
        if (depth < kMaxScriptDepth) script(text, depth + 1);
    }

    // Index of the program word after reserved words, variable assignments and
    // the programs that only run another one (sudo, env, nice, xargs ...);
    // flags privilege raising on the way. words.size() when nothing runs.
    std::size_t unwrap(Words words) {
        std::size_t i = 0;
        while (i < words.size()) {
            const std::string_view word = words[i];
            const std::string_view name = baseName(word);
            if (isAssignment(word) ||
                isOneOf(word, {"if", "then", "else", "elif", "do", "while", "until", "!", "{", "}"})) {
                ++i;
            } else if (name == "command" && i + 1 < words.size() &&
                       isOneOf(words[i + 1], {"-v", "-V"})) {
                return words.size();  // only looks the name up
            } else if (isOneOf(name, {"time", "exec", "nohup", "builtin", "command", "stdbuf"})) {
                i = skipOptions(words, i + 1, {"-a"});
            } else if (isOneOf(name, {"sudo", "doas", "pkexec", "run0"})) {
                flag(CommandRisk::raisesPrivileges);
                i = skipOptions(words, i + 1,
                                {"-u", "-g", "-h", "-p", "-C", "-D", "-r", "-t", "-U", "-T",
                                 "--user", "--group", "--host", "--prompt", "--chdir"});
            } else if (name == "env") {
                ++i;
                while (i < words.size() && (isOption(words[i]) || isAssignment(words[i]))) {
                    i += isOneOf(words[i], {"-u", "-C", "--unset", "--chdir"}) ? 2 : 1;
                }
            } else if (name == "nice") {
                i = skipOptions(words, i + 1, {"-n", "--adjustment"});
            } else if (name == "timeout") {
                i = skipOptions(words, i + 1, {"-s", "-k", "--signal", "--kill-after"}) + 1;
            } else if (name == "xargs") {
                i = skipOptions(words, i + 1, {"-I", "-n", "-P", "-L", "-d", "-s", "-E", "-a"});
            } else {
                break;
            }
        }
        return std::min(i, words.size());
    }

    bool isDownload(Words words) {
        const std::size_t start = unwrap(words);
        if (start >= words.size()) return false;
        const std::string name = lowerCased(baseName(words[start]));
        if (isOneOf(name, {"curl", "wget", "fetch", "http", "xh", "aria2c", "irm", "iwr",
                           "invoke-restmethod", "invoke-webrequest"})) {
            return true;
        }
        for (const std::string& word : words.subspan(start)) {
            if (lowerCased(word).find("downloadstring") != std::string::npos) return true;
        }
        return false;
    }

    void program(Words all, const std::vector<bool>& globs, const Surroundings& around, int depth) {
        const std::size_t start = unwrap(all);
        if (start >= all.size()) return;
        const Words args = all.subspan(start + 1);
        const std::string name = lowerCased(baseName(all[start]));

        if (name == "su") {
            flag(CommandRisk::raisesPrivileges);
            for (std::size_t i = 0; i < args.size(); ++i) {
                if (isOneOf(args[i], {"-c", "--command"}) && i + 1 < args.size()) {
                    nested(args[i + 1], depth);
                } else if (args[i].starts_with("--command=")) {
                    nested(std::string_view(args[i]).substr(10), depth);
                }
            }
        } else if (isShell(name) || isInterpreter(name)) {
            interpreter(name, args, around, depth);
        } else if (name == "eval") {
            std::string text;
            for (const std::string& arg : args) text += arg + ' ';
            if (around.substitutionDownloads) flag(CommandRisk::runsDownloadedCode);
            nested(text, depth);
        } else if (isOneOf(name, {"source", ".", "iex", "invoke-expression"})) {
            const bool readsStdin = name == "iex" || name == "invoke-expression";
            if (around.substitutionDownloads || (readsStdin && around.stdinDownloaded)) {
                flag(CommandRisk::runsDownloadedCode);
            }
        } else if (name == "rm") {
            remove(args, globs, start + 1);
        } else if (name == "find") {
            find(args);
        } else if (name == "cd") {
            base_ = args.empty() ? resolve("~") : resolve(args.front());
        } else if (name == "git") {
            git(args);
        } else if (name == "chmod") {
            chmod(args);
        } else if ((name == "setenforce" && !args.empty() &&
                    isOneOf(lowerCased(args.front()), {"0", "permissive"})) ||
                   (isOneOf(name, {"ufw", "csrutil"}) && contains(args, "disable")) ||
                   (name == "spctl" && (contains(args, "--master-disable") ||
                                        contains(args, "--global-disable")))) {
            flag(CommandRisk::weakensProtection);
        } else if (destroysDisk(name, args)) {
            flag(CommandRisk::destroysData);
        }
        // A SQL client anywhere in the line ("docker exec db psql -c …").
        for (std::size_t i = start; i < all.size(); ++i) {
            if (!isSQLClient(baseName(all[i]))) continue;
            sqlText(all.subspan(i + 1));
            if (destroysSQLData(around.input)) flag(CommandRisk::destroysData);
            break;
        }
    }

    void sqlText(Words words) {
        for (const std::string& word : words) {
            if (destroysSQLData(word)) flag(CommandRisk::destroysData);
        }
    }

    // A shell or a language interpreter: its code comes from a -c style
    // option, a script argument, or standard input.
    void interpreter(const std::string& name, Words args, const Surroundings& around, int depth) {
        const bool shell = isShell(name);
        const bool powerShell = isOneOf(name, {"pwsh", "powershell"});
        bool stdinOption = false;  // "bash -s": code on stdin, the rest are arguments
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string_view arg = args[i];
            const std::string option = lowerCased(arg);
            const bool codeOption =
                powerShell ? isOneOf(option, {"-c", "-command"})
                : shell    ? clusterHas(arg, 'c')
                           : isOneOf(arg, {"-c", "-e", "-E", "-r", "--eval", "-p", "--print"});
            if (codeOption) {
                const std::string_view code = i + 1 < args.size() ? std::string_view(args[i + 1]) : "";
                if (around.substitutionDownloads && code.find("$()") != std::string_view::npos) {
                    flag(CommandRisk::runsDownloadedCode);
                }
                if (shell) nested(code, depth);
                return;
            }
            if (arg == "-") break;
            if (!shell && arg == "-m") return;  // a module, not code on stdin
            if (shell && clusterHas(arg, 's')) stdinOption = true;
            if (isOption(arg)) {
                if (shell && isOneOf(arg, {"-o", "+o"})) ++i;
                continue;
            }
            if (stdinOption) break;
            // A script file, or a process substitution standing for one.
            if (around.substitutionDownloads && arg.find("$()") != std::string_view::npos) {
                flag(CommandRisk::runsDownloadedCode);
            }
            return;
        }
        if (around.stdinDownloaded) flag(CommandRisk::runsDownloadedCode);
        if (shell && !around.input.empty()) nested(around.input, depth);
    }

    // `globs` are those of the whole command line, whose word `offset` is args[0].
    void remove(Words args, const std::vector<bool>& globs, std::size_t offset) {
        bool recursive = false;
        bool options = true;
        bool strong = false;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string_view arg = args[i];
            if (options && arg == "--") {
                options = false;
            } else if (options && arg.starts_with("--")) {
                recursive |= arg == "--recursive";
            } else if (options && isShortCluster(arg)) {
                recursive |= clusterHas(arg, 'r') || clusterHas(arg, 'R');
            } else {
                strong |= isDangerousTarget(arg, globs[offset + i], true);
            }
        }
        if (recursive) flag(strong ? CommandRisk::deletesOutsideProject : CommandRisk::deletesRecursively);
    }

    void find(Words args) {
        std::size_t i = skipOptions(args, 0, {"-D", "-O"});
        bool strong = false;
        for (; i < args.size() && !isOption(args[i]) && !isOneOf(args[i], {"(", "!"}); ++i) {
            strong |= isDangerousTarget(args[i], false, false);
        }
        bool deletes = false;
        for (; i < args.size(); ++i) {
            deletes |= args[i] == "-delete" ||
                       (isOneOf(args[i], {"-exec", "-execdir", "-ok", "-okdir"}) &&
                        i + 1 < args.size() && baseName(args[i + 1]) == "rm");
        }
        if (deletes) flag(strong ? CommandRisk::deletesOutsideProject : CommandRisk::deletesRecursively);
    }

    void git(Words args) {
        // Options before the subcommand; -C and -c take a value.
        std::size_t i = skipOptions(args, 0, {"-C", "-c", "--git-dir", "--work-tree", "--namespace"});
        if (i >= args.size()) return;
        const std::string_view command = args[i];
        const Words rest = args.subspan(i + 1);
        if (contains(rest, "--no-verify")) flag(CommandRisk::weakensProtection);
        bool forced = false;
        bool dryRun = false;
        for (const std::string& arg : rest) {
            forced |= arg == "--force" || clusterHas(arg, 'f');
            dryRun |= arg == "--dry-run" || clusterHas(arg, 'n');
        }
        if (command == "push") {
            for (const std::string& arg : rest) {
                forced |= arg.starts_with("--force-with-lease") ||
                          (arg.size() > 1 && arg.front() == '+');
            }
            if (forced) flag(CommandRisk::forcePushes);
        } else if ((command == "reset" && contains(rest, "--hard")) ||
                   (command == "clean" && forced && !dryRun) ||
                   (command == "checkout" && (forced || contains(rest, "--") || contains(rest, "."))) ||
                   (command == "restore" && !contains(rest, "--staged") && !contains(rest, "-S")) ||
                   (command == "stash" && !rest.empty() && isOneOf(rest.front(), {"drop", "clear"})) ||
                   (command == "branch" &&
                    std::any_of(rest.begin(), rest.end(),
                                [](const std::string& arg) { return clusterHas(arg, 'D'); }))) {
            flag(CommandRisk::discardsWork);
        } else if (command == "config" && (contains(rest, "--global") || contains(rest, "--system"))) {
            for (std::size_t k = 0; k + 1 < rest.size(); ++k) {
                if (lowerCased(rest[k]) != "core.hookspath" || isOption(rest[k + 1])) continue;
                bool reads = false;
                for (const std::string& arg : rest) {
                    reads |= isOneOf(arg, {"--get", "--get-all", "--unset", "--unset-all", "get",
                                           "unset", "-l", "--list"});
                }
                if (!reads) flag(CommandRisk::weakensProtection);
            }
        }
    }

    void chmod(Words args) {
        for (const std::string& arg : args) {
            if (isOption(arg)) continue;
            const bool octal = arg.size() >= 3 && arg.size() <= 4 &&
                               std::all_of(arg.begin(), arg.end(),
                                           [](char c) { return c >= '0' && c <= '7'; });
            if (octal) {
                // Writable by everyone.
                if (((arg.back() - '0') & 2) != 0) flag(CommandRisk::weakensProtection);
                continue;
            }
            std::size_t clause = 0;
            while (clause < arg.size()) {
                const std::size_t end = std::min(arg.find(',', clause), arg.size());
                const std::string_view text = std::string_view(arg).substr(clause, end - clause);
                const std::size_t op = text.find_first_of("+=");
                const std::string_view who = text.substr(0, std::min(op, text.size()));
                if (op != std::string_view::npos && who.find_first_of("oa") != std::string_view::npos &&
                    who.find_first_not_of("ugoa") == std::string_view::npos &&
                    text.find('w', op) != std::string_view::npos) {
                    flag(CommandRisk::weakensProtection);
                }
                clause = end + 1;
            }
        }
    }

    static bool destroysDisk(const std::string& name, Words args) {
        if (name.starts_with("mkfs") || name.starts_with("newfs") ||
            isOneOf(name, {"mke2fs", "wipefs", "dropdb"})) {
            return true;
        }
        for (const std::string& arg : args) {
            if (name == "dd" && arg.starts_with("of=") && isBlockDevice(std::string_view(arg).substr(3))) {
                return true;
            }
            if (name == "diskutil" && (lowerCased(arg).starts_with("erase") ||
                                       isOneOf(lowerCased(arg), {"zerodisk", "randomdisk",
                                                                 "secureerase", "partitiondisk"}))) {
                return true;
            }
        }
        return false;
    }

    // The absolute, normalised path `word` names, or nothing when it depends
    // on what is unknown here (other variables, an unknown home or directory).
    std::optional<std::string> resolve(std::string_view word) const {
        if (const auto rest = homeRelative(word)) {
            if (home_.empty()) return std::nullopt;
            return normalised(home_ + std::string(*rest));
        }
        if (word.empty() || word.front() == '$' || word.front() == '~') return std::nullopt;
        if (word.front() == '/') return normalised(word);
        if (!base_) return std::nullopt;
        return normalised(*base_ + "/" + std::string(word));
    }

    // A deletion target that reaches beyond the project: "/", the home
    // directory, a bare "*", a path outside the project, or (when
    // `projectItself`) the project directory itself.
    bool isDangerousTarget(std::string_view word, bool glob, bool projectItself) const {
        if (word.empty()) return false;
        if (glob && isOneOf(word, {"*", ".*"})) return true;
        std::optional<std::string> path = resolve(word);
        if (!path) return homeRelative(word).has_value() || word.starts_with("..");
        // "dir/*" empties the directory itself.
        if (glob && (word.ends_with("/*") || word.ends_with("/.*"))) path = parentOf(*path);
        if (project_.empty()) return true;
        if (*path == project_) return projectItself;
        return !isWithin(*path, project_);
    }

    std::string project_;  // empty when the receipt gave no absolute path
    std::string home_;     // empty when unknown
    std::optional<std::string> base_;
    std::bitset<allCases<CommandRisk>().size()> found_;
};

}  // namespace

std::vector<CommandRisk> CommandRiskPolicy::assess(std::string_view command,
                                                   std::string_view projectPath,
                                                   std::string_view workingDirectory) const {
    Assessment assessment(projectPath, workingDirectory);
    assessment.script(command, 0);
    return assessment.risks();
}

std::vector<CommandRisk> CommandRiskPolicy::assess(const ActionStep& step,
                                                   const ReceiptProject& project) const {
    if (!step.command || step.command->empty()) return {};
    return assess(*step.command, project.path, step.workingDirectory.value_or(""));
}

}  // namespace kestrin
