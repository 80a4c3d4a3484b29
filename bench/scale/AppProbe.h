#pragma once

#include <filesystem>
#include <ostream>

namespace kestrin {

// The desktop app over a data directory, measured from inside its own
// process (the benchmark starts one per run, so that memory figures are the
// app's alone): start to the first painted window, the scan tick with nothing
// new and after another connection changed one task, the first screen of the
// 已完成 and 全部事项 views chosen in the sidebar, paging through them, and
// keystrokes in the search field. The window is built as the program builds
// it, over a model with fake platform services, on Qt's offscreen platform.
class AppProbe {
public:
    // Needs a QApplication. Writes one "figure value" line per figure to
    // `out`, flushed at once, so that the figures taken before a memory or
    // time limit ended the process still count. `pendingTaskKey` names a
    // pending task whose status may be switched back and forth; it is left
    // pending. Returns 0, or 1 (with the reason on standard error) when the
    // window does not show what a user would see.
    static int run(const std::filesystem::path& home, const std::string& pendingTaskKey,
                   std::ostream& out);
};

}  // namespace kestrin
