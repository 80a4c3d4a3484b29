#include "InProcessServer.h"

#include <sstream>

#include "mcp/KestrinMCPMain.h"

namespace kestrin::testing {

std::string InProcessServer::serve(const std::string& input) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    status_ = KestrinMCPMain::main(environment_, in, out, err);
    diagnostics_ = err.str();
    return out.str();
}

}  // namespace kestrin::testing
