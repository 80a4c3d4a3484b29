#include "mcp/KestrinMCPMain.h"

#include <iterator>

#include "core/intake/ReceiptImporter.h"
#include "core/store/SQLiteTaskStore.h"
#include "mcp/Localized.h"
#include "mcp/MCPServer.h"
#include "mcp/ServerTools.h"

namespace kestrin {

namespace {

template <typename Error>
int startFailure(std::ostream& diagnostics, const Error& error) {
    diagnostics << "kestrin-mcp 启动失败：" << localized(error) << '\n' << std::flush;
    return 1;
}

}  // namespace

int KestrinMCPMain::main(const AppPaths::Environment& environment, std::istream& input,
                         std::ostream& output, std::ostream& diagnostics) {
    const auto paths = AppPaths::defaultPaths(environment);
    if (!paths) return startFailure(diagnostics, paths.error());
    if (const auto created = paths->ensureDirectories(); !created) {
        return startFailure(diagnostics, created.error());
    }
    auto store = SQLiteTaskStore::open(paths->database());
    if (!store) return startFailure(diagnostics, store.error());

    const ReceiptImporter importer(**store);
    ServerTools tools(*paths, **store, importer);
    MCPServer server(tools, {std::begin(protocolVersions), std::end(protocolVersions)}, input,
                     output, diagnostics);
    server.run();
    return 0;
}

}  // namespace kestrin
