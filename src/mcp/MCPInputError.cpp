#include "mcp/MCPInputError.h"

namespace kestrin {

std::string MCPInputError::description() const {
    switch (kind) {
        case Kind::missingReceipt:
            return "缺少 receipt 参数。";
        case Kind::invalidReceipt:
            return "receipt 必须是 JSON 对象或完整 JSON 字符串。";
    }
    return {};
}

}  // namespace kestrin
