#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ConsoleFacts.h"
#include "core/intake/AppPaths.h"
#include "core/store/ReceiptHistoryRecord.h"
#include "core/intake/TaskDataEnvironment.h"
#include "core/store/TaskRecord.h"
#include "core/store/TaskSummary.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// velmora-cli's output for people: task rows, the work sheet of one task, the
// receipt history and the data paths, with the desktop app's labels. Lines are
// fitted (rows) or wrapped (the work sheet) to the console's width when it has
// one; colours are used only when the console allows them. Every text taken
// from a receipt passes TerminalText::printable first, so a receipt cannot
// steer the terminal. Commands are never wrapped, so they can be copied whole.
class HumanOutput {
public:
    enum class Colour { orange, blue, purple, grey, green, red, bold };

    HumanOutput(const ConsoleFacts& console, std::ostream& output);

    // Two lines per task: the status, the item title and the ticked and total
    // steps; then, indented, the task key, project, agent and receive time
    // (and the wake-up time of a snoozed task). The key is never cut.
    void taskRows(const std::vector<TaskSummary>& tasks);

    // The whole work sheet: status, priority and category; title, expected
    // outcome and facts; why the user is needed; prerequisites; every step
    // with its identifier, action, working directory, command (and under it,
    // in red, each risk the command carries), password note, success signal
    // and failure action; the final verification with risk and
    // rollback; and how to hand the result back.
    void workSheet(const TaskRecord& task, const std::string& note);

    // Two lines per receipt, newest first as given.
    void historyRows(const std::vector<ReceiptHistoryRecord>& receipts);

    // The data environment's display name, then one labelled line per path.
    void paths(const AppPaths& paths, TaskDataEnvironment environment);

    // `text` in `colour` when the console allows colours.
    std::string paint(std::string_view text, Colour colour) const;

    // `instant` in the local time zone as "2026-07-27 16:30".
    static std::string localTime(Timestamp instant);

    static Colour statusColour(TaskStatus status);

private:
    void heading(std::string_view title);
    // `text` wrapped to the width less `indent` columns, every line indented.
    void paragraph(std::string_view text, int indent, std::optional<Colour> colour = std::nullopt);
    // "label：value", wrapped like a paragraph.
    void labelled(std::string_view label, std::string_view value, int indent);
    // "label：value" for a value that must stay whole (a path, a link, a
    // command line): when the line would not fit, the value goes unbroken on
    // the next line, two columns further in.
    void verbatim(std::string_view label, std::string_view value, int indent);
    void step(const TaskRecord& task, const ActionStep& step);
    void handBack(const TaskRecord& task, const std::string& note);

    const ConsoleFacts& console_;
    std::ostream& output_;
};

}  // namespace kestrin
