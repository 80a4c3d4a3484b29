#pragma once

#include <optional>

#include "core/intake/AppPaths.h"

namespace kestrin {

// What velmora-cli knows about where its output goes and where answers come
// from. Detected once at start; tests build their own.
struct ConsoleFacts {
    // Standard output is a terminal: receipt texts are made printable there.
    bool outputIsTerminal = false;
    // Standard input is a terminal: the user can be asked to confirm.
    bool inputIsTerminal = false;
    // The columns human output is fitted to; nothing means "do not fit" (a pipe
    // or file without COLUMNS).
    std::optional<int> width;
    // Whether human output may use ANSI colours.
    bool colour = false;

    // The facts of this process: COLUMNS when it holds a positive number, else
    // the terminal's width when standard output is one; colour only on a
    // terminal, never when NO_COLOR is set to anything non-empty or TERM is
    // "dumb".
    static ConsoleFacts detect(const AppPaths::Environment& environment);
};

}  // namespace kestrin
