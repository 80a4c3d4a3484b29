#include "core/handback/ResumeSecretError.h"

namespace kestrin {

std::string ResumeSecretError::description() const {
    if (findings.empty()) {
        return "恢复消息无法完成密钥检查。请先缩短备注中过长的文本，不要把密钥交给 Agent。";
    }
    std::string places;
    for (const SecretFinding& finding : findings) {
        if (!places.empty()) places += "、";
        places += "第 " + std::to_string(finding.line) + " 行（" + finding.rule + "）";
    }
    return "恢复消息中像是有密钥：" + places + "。请先从备注中删掉密钥，不要把密钥交给 Agent。";
}

std::string ResumeSecretError::heldBackDescription() const {
    return "恢复消息像是含有密钥，已暂不交给 Agent；用户删掉密钥后会再回传结果。";
}

}  // namespace kestrin
