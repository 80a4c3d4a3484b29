#pragma once

#include <string_view>

namespace kestrin {

// Facts about this build that both programs report.
struct BuildInfo {
    // The product version, also reported as the MCP server version.
    static constexpr std::string_view productVersion = "0.3.3";
};

}  // namespace kestrin
