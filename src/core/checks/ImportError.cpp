#include "core/checks/ImportError.h"

namespace kestrin {

ImportError ImportError::secret(std::vector<SecretFinding> findings) {
    ImportError error;
    error.kind = Kind::secret;
    error.findings = std::move(findings);
    return error;
}

ImportError ImportError::malformed(std::string message) {
    ImportError error;
    error.kind = Kind::malformed;
    error.message = std::move(message);
    return error;
}

ImportError ImportError::invalid(std::vector<ValidationIssue> issues) {
    ImportError error;
    error.kind = Kind::invalid;
    error.issues = std::move(issues);
    return error;
}

ImportError ImportError::versionConflict(std::string receiptID, std::int64_t version) {
    ImportError error;
    error.kind = Kind::versionConflict;
    error.receiptID = std::move(receiptID);
    error.version = version;
    return error;
}

ImportError ImportError::notUTF8() {
    ImportError error;
    error.kind = Kind::notUTF8;
    return error;
}

std::string ImportError::description() const {
    std::string text;
    switch (kind) {
        case Kind::secret:
            text = "回执包含疑似秘密，已阻止导入：";
            for (size_t i = 0; i < findings.size(); ++i) {
                if (i > 0) text += "；";
                text += "第 " + std::to_string(findings[i].line) + " 行 " + findings[i].rule;
            }
            return text + "。";
        case Kind::malformed:
            return "回执 JSON 无法解析：" + message;
        case Kind::invalid:
            text = "回执缺少可执行信息：";
            for (size_t i = 0; i < issues.size(); ++i) {
                if (i > 0) text += "；";
                text += issues[i].path + "：" + issues[i].message;
            }
            return text;
        case Kind::versionConflict:
            return "同一 receipt_id 和 version 的内容不一致（" + receiptID + " v" +
                   std::to_string(version) + "）；请让 Agent 增加 version 后重试。";
        case Kind::notUTF8:
            return "回执必须是 UTF-8 JSON 文本。";
    }
    return text;
}

}  // namespace kestrin
