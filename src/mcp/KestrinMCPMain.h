#pragma once

#include <istream>
#include <ostream>

#include "core/intake/AppPaths.h"

namespace kestrin {

// The kestrin-mcp program without its process: start-up, the server's read
// loop, and the exit status, over the given environment and streams.
class KestrinMCPMain {
public:
    // The protocol versions the server offers, preferred first.
    static constexpr const char* protocolVersions[] = {"2025-06-18", "2024-11-05"};

    // Resolves the data directory from `environment` (KESTRIN_HOME), creates
    // its directories, opens (creating or migrating) the database and serves
    // `input` until it ends; returns 0 then. On a start-up failure writes
    // "kestrin-mcp 启动失败：" and the error's text as one line to
    // `diagnostics`, nothing to `output`, reads nothing, and returns 1.
    static int main(const AppPaths::Environment& environment, std::istream& input,
                    std::ostream& output, std::ostream& diagnostics);
};

}  // namespace kestrin
