#include "mcp/MCPInputError.h"

namespace kestrin {

std::string MCPInputError::description() const {
    switch (kind) {
        case Kind::missingReceipt:
            return "缺少 receipt 参数。";
        case Kind::invalidReceipt:
            return "receipt 必须是 JSON 对象或完整 JSON 字符串。";
        case Kind::missingReceiptID:
            return "缺少 receipt_id 参数。";
        case Kind::invalidReceiptID:
            return "receipt_id 必须是非空字符串。";
        case Kind::unknownReceipt:
            return "找不到回执：" + receiptID + "。";
        case Kind::invalidWaitSeconds:
            return "wait_seconds 必须是 0 到 50 之间的整数。";
    }
    return {};
}

}  // namespace kestrin
