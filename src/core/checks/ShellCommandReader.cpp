#include "core/checks/ShellCommandReader.h"

#include <algorithm>
#include <string>

namespace kestrin {

namespace {

// Deeper nesting does not occur in real commands; it reads as text so that
// hostile input cannot exhaust the stack.
constexpr int kMaxDepth = 32;

constexpr std::size_t kNoCommand = static_cast<std::size_t>(-1);

enum class Redirect { none, output, input, hereDocument, hereDocumentTabs, hereString, duplicate };

struct PendingHereDocument {
    std::size_t command = kNoCommand;
    std::string delimiter;
    bool stripTabs = false;
};

class Reading {
  public:
    explicit Reading(std::string_view text) : text_(text) {}

    std::vector<ShellCommand> take() {
        list(0, '\0');
        return std::move(commands_);
    }

  private:
    // The state of the simple command being read by one list().
    struct Current {
        ShellCommand command;
        std::string word;
        bool inWord = false;
        bool glob = false;
        Redirect redirect = Redirect::none;
        std::size_t pipeline = 0;
        std::size_t stage = 0;
    };

    bool at(std::string_view prefix) const { return text_.substr(pos_).starts_with(prefix); }

    // Reads commands until `terminator` (consumed) or the end of the text.
    void list(int depth, char terminator) {
        Current c;
        c.pipeline = nextPipeline_++;
        while (pos_ < text_.size()) {
            const char ch = text_[pos_];
            if (ch == terminator && terminator != '\0') {
                ++pos_;
                finishCommand(c, false);
                return;
            }
            switch (ch) {
                case ' ':
                case '\t':
                case '\r':
                    ++pos_;
                    finishWord(c);
                    break;
                case '\n':
                    ++pos_;
                    finishCommand(c, false);
                    readHereDocuments();
                    break;
                case ';':
                case ')':
                    ++pos_;
                    finishCommand(c, false);
                    break;
                case '&':
                    if (at("&&")) {
                        pos_ += 2;
                        finishCommand(c, false);
                    } else if (at("&>")) {
                        pos_ += at("&>>") ? 3 : 2;
                        startRedirect(c, Redirect::output);
                    } else {
                        ++pos_;
                        finishCommand(c, false);
                    }
                    break;
                case '|':
                    if (at("||")) {
                        pos_ += 2;
                        finishCommand(c, false);
                    } else {
                        pos_ += at("|&") ? 2 : 1;
                        finishCommand(c, true);
                    }
                    break;
                case '<':
                case '>':
                    redirection(c, depth);
                    break;
                case '(':
                    if (depth >= kMaxDepth) {
                        appendChar(c, ch);
                        ++pos_;
                        break;
                    }
                    ++pos_;
                    finishWord(c);
                    if (c.command.words.empty()) {
                        // A subshell: its commands stand on their own.
                        finishCommand(c, false);
                        list(depth + 1, ')');
                    } else {
                        // An argument group, as in PowerShell's "iex (irm …)".
                        substitution(c, depth, ')');
                        c.word += "$()";
                    }
                    break;
                case '#':
                    if (c.inWord) {
                        appendChar(c, ch);
                        ++pos_;
                    } else {
                        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                    }
                    break;
                default:
                    wordPart(c, depth, false);
                    break;
            }
        }
        finishCommand(c, false);
    }

    void appendChar(Current& c, char ch) {
        c.word.push_back(ch);
        c.inWord = true;
    }

    // Reads one piece of a word at pos_: a quoted string, an escape, an
    // expansion or one plain character. Inside double quotes only the
    // expansions and escapes are special.
    void wordPart(Current& c, int depth, bool inDoubleQuotes) {
        const char ch = text_[pos_];
        c.inWord = true;
        if (ch == '\\') {
            if (pos_ + 1 >= text_.size()) {
                ++pos_;
                return;
            }
            const char next = text_[pos_ + 1];
            pos_ += 2;
            if (next == '\n') return;  // line continuation
            if (inDoubleQuotes && std::string_view("$`\"\\").find(next) == std::string_view::npos) {
                c.word.push_back('\\');
            }
            c.word.push_back(next);
        } else if (ch == '\'' && !inDoubleQuotes) {
            const std::size_t end = std::min(text_.find('\'', pos_ + 1), text_.size());
            c.word.append(text_.substr(pos_ + 1, end - pos_ - 1));
            pos_ = end + 1;
        } else if (ch == '"' && !inDoubleQuotes) {
            ++pos_;
            while (pos_ < text_.size() && text_[pos_] != '"') wordPart(c, depth, true);
            ++pos_;
        } else if (ch == '`' && depth < kMaxDepth) {
            ++pos_;
            substitution(c, depth, '`');
            c.word += "$()";
        } else if (ch == '$') {
            dollar(c, depth, inDoubleQuotes);
        } else {
            if (!inDoubleQuotes && (ch == '*' || ch == '?' || ch == '[')) c.glob = true;
            c.word.push_back(ch);
            ++pos_;
        }
    }

    void dollar(Current& c, int depth, bool inDoubleQuotes) {
        if (at("$((")) {
            // Arithmetic runs no command: skip to the balancing parentheses.
            ++pos_;
            int open = 0;
            do {
                if (text_[pos_] == '(') ++open;
                if (text_[pos_] == ')') --open;
                ++pos_;
            } while (pos_ < text_.size() && open > 0);
            c.word += "$(())";
        } else if (at("$(") && depth < kMaxDepth) {
            pos_ += 2;
            substitution(c, depth, ')');
            c.word += "$()";
        } else if (at("${")) {
            const std::size_t end = std::min(text_.find('}', pos_), text_.size());
            c.word.append(text_.substr(pos_, end + 1 - pos_));
            pos_ = std::min(end + 1, text_.size());
        } else if (at("$'") && !inDoubleQuotes) {
            std::size_t end = pos_ + 2;
            while (end < text_.size() && text_[end] != '\'') end += text_[end] == '\\' ? 2 : 1;
            end = std::min(end, text_.size());
            c.word.append(text_.substr(pos_ + 2, end - pos_ - 2));
            pos_ = end + 1;
        } else {
            c.word.push_back('$');
            ++pos_;
        }
    }

    // Reads the commands up to `terminator` and records them as run by the
    // command being read.
    void substitution(Current& c, int depth, char terminator) {
        const std::size_t first = commands_.size();
        list(depth + 1, terminator);
        for (std::size_t i = first; i < commands_.size(); ++i) c.command.substituted.push_back(i);
        c.inWord = true;
    }

    void redirection(Current& c, int depth) {
        // A word of digits right before the operator names a file descriptor.
        if (c.inWord && !c.word.empty() &&
            std::all_of(c.word.begin(), c.word.end(), [](char d) { return d >= '0' && d <= '9'; })) {
            c.word.clear();
            c.inWord = false;
            c.glob = false;
        }
        if ((at("<(") || at(">(")) && depth < kMaxDepth) {
            finishWord(c);
            pos_ += 2;
            substitution(c, depth, ')');
            c.word += "$()";
            return;
        }
        struct Operator {
            std::string_view text;
            Redirect redirect;
        };
        constexpr Operator operators[] = {
            {"<<<", Redirect::hereString}, {"<<-", Redirect::hereDocumentTabs},
            {"<<", Redirect::hereDocument}, {"<&", Redirect::duplicate},
            {"<>", Redirect::input},        {"<", Redirect::input},
            {">>", Redirect::output},       {">|", Redirect::output},
            {">&", Redirect::duplicate},    {">", Redirect::output},
        };
        for (const Operator& op : operators) {
            if (!at(op.text)) continue;
            pos_ += op.text.size();
            // ">&file" writes to a file; ">&2" and ">&-" only copy a descriptor.
            Redirect redirect = op.redirect;
            if (redirect == Redirect::duplicate && op.text == ">&" && pos_ < text_.size() &&
                !(text_[pos_] >= '0' && text_[pos_] <= '9') && text_[pos_] != '-') {
                redirect = Redirect::output;
            }
            startRedirect(c, redirect);
            return;
        }
    }

    void startRedirect(Current& c, Redirect redirect) {
        finishWord(c);
        c.redirect = redirect;
    }

    void finishWord(Current& c) {
        if (!c.inWord) return;
        switch (c.redirect) {
            case Redirect::none:
                c.command.words.push_back(std::move(c.word));
                c.command.globs.push_back(c.glob);
                break;
            case Redirect::output:
                c.command.outputs.push_back(std::move(c.word));
                break;
            case Redirect::hereDocument:
            case Redirect::hereDocumentTabs:
                hereDocuments_.push_back(
                    {kNoCommand, std::move(c.word), c.redirect == Redirect::hereDocumentTabs});
                break;
            case Redirect::hereString:
                c.command.input += c.word + '\n';
                break;
            case Redirect::input:
            case Redirect::duplicate:
                break;
        }
        c.word.clear();
        c.inWord = false;
        c.glob = false;
        c.redirect = Redirect::none;
    }

    // Ends the simple command; `piped` keeps the next one in its pipeline.
    void finishCommand(Current& c, bool piped) {
        finishWord(c);
        ShellCommand& command = c.command;
        if (!command.words.empty() || !command.outputs.empty() || !command.substituted.empty()) {
            command.pipeline = c.pipeline;
            command.stage = c.stage;
            for (PendingHereDocument& document : hereDocuments_) {
                if (document.command == kNoCommand) document.command = commands_.size();
            }
            commands_.push_back(std::move(command));
        }
        command = ShellCommand{};
        c.redirect = Redirect::none;
        if (piped) {
            ++c.stage;
        } else {
            c.pipeline = nextPipeline_++;
            c.stage = 0;
        }
    }

    // After a line break: the bodies of the here-documents opened on that
    // line, each up to its delimiter line.
    void readHereDocuments() {
        for (const PendingHereDocument& document : hereDocuments_) {
            std::string body;
            while (pos_ < text_.size()) {
                const std::size_t end = std::min(text_.find('\n', pos_), text_.size());
                std::string_view line = text_.substr(pos_, end - pos_);
                pos_ = std::min(end + 1, text_.size());
                if (document.stripTabs) line.remove_prefix(std::min(line.find_first_not_of('\t'), line.size()));
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                if (line == document.delimiter) break;
                body.append(line);
                body.push_back('\n');
            }
            if (document.command < commands_.size()) commands_[document.command].input += body;
        }
        hereDocuments_.clear();
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t nextPipeline_ = 0;
    std::vector<ShellCommand> commands_;
    std::vector<PendingHereDocument> hereDocuments_;
};

}  // namespace

std::vector<ShellCommand> ShellCommandReader::read(std::string_view script) const {
    return Reading(script).take();
}

}  // namespace kestrin
