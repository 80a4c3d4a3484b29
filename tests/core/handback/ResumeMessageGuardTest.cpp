#include <gtest/gtest.h>

#include <string>

#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"

using namespace kestrin;

namespace {

// The message of a task without steps or resume context: the note starts on line 17.
std::optional<ResumeSecretError> checkNote(const std::string& note) {
    TaskRecord record;
    record.project = {.name = "shop", .path = "/Users/dev/shop"};
    record.item.title = "授予权限";
    return ResumeMessageGuard().check(ResumeMessageBuilder().build(record, note));
}

}  // namespace

// The texts name line and rule but never the secret; escaped secrets count too.
TEST(ResumeMessageGuardTest, NamesEachSecretOfTheNoteByLineAndRule) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"token 已放进钥匙串，{\"password\": \"\"} 留空即可", ""},
        {"配置：{\"password\": \"hunter22\"}", "第 17 行（credential_field）"},
        {"转义后也算：gh\\u0070_0123456789abcdefghijKLMN", "第 17 行（github_token）"},
        {"两个：\nAKIAIOSFODNN7EXAMPLE Bearer abcdefghijklmnopqr",
         "第 18 行（aws_key）、第 18 行（bearer_token）"},
    };
    for (const auto& [note, places] : cases) {
        SCOPED_TRACE(note);
        const auto error = checkNote(note);
        ASSERT_EQ(error.has_value(), !places.empty());
        if (error) {
            EXPECT_EQ(error->description(), "恢复消息中像是有密钥：" + places +
                                                "。请先从备注中删掉密钥，不要把密钥交给 Agent。");
        }
    }
    EXPECT_EQ(checkNote("sk-proj0123456789abcdefghij")->heldBackDescription(),
              "恢复消息像是含有密钥，已暂不交给 Agent；用户删掉密钥后会再回传结果。");
    // A scan that could not finish has no findings to name.
    EXPECT_EQ(ResumeSecretError{}.description(),
              "恢复消息无法完成密钥检查。请先缩短备注中过长的文本，不要把密钥交给 Agent。");
}
