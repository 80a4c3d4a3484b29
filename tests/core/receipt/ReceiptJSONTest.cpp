#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/receipt/KeySpelling.h"
#include "core/receipt/ReceiptJSON.h"

using namespace kestrin;
using nlohmann::json;

namespace {

std::string readFile(const std::string& name) {
    std::ifstream file(std::string(VELMORA_TEST_DATA) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// One item of one step, required fields only.
json minimalReceipt() {
    return json::parse(readFile("json/minimal-receipt.json"));
}

// Three items of four steps with every optional field somewhere.
std::string typicalReceiptText() {
    return readFile("../../examples/receipt-typical.json");
}

Result<InterventionReceipt, DecodingError> decode(const json& document) {
    return ReceiptJSON::makeDecoder().decodeReceipt(document.dump());
}

// "" when the document decodes, else the error as the user reads it.
std::string decodeError(const std::string& text) {
    const auto result = ReceiptJSON::makeDecoder().decodeReceipt(text);
    return result ? "" : result.error().message();
}

json camelCased(const json& value) {
    if (value.is_array()) {
        json list = json::array();
        for (const auto& element : value) list.push_back(camelCased(element));
        return list;
    }
    if (!value.is_object()) return value;
    json object = json::object();
    for (const auto& [key, member] : value.items()) object[fromSnakeCase(key)] = camelCased(member);
    return object;
}

}  // namespace

TEST(ReceiptKeys, SpellingsAndWhichOneWins) {
    const std::pair<const char*, const char*> snakeToCamel[] = {
        {"requires_user_action", "requiresUserAction"},
        {"_leading_and_trailing_", "_leadingAndTrailing_"},
        {"task__id", "taskId"},
        {"___", "___"},
        {"taskTitle", "taskTitle"},
        {"receipt_ID", "receiptID"}};
    for (const auto& [snake, camel] : snakeToCamel) EXPECT_EQ(fromSnakeCase(snake), camel) << snake;
    EXPECT_EQ(toSnakeCase("requiresUserAction"), "requires_user_action");
    EXPECT_EQ(toSnakeCase("id"), "id");

    // Camel-case keys at every level decode like the wire keys.
    const auto typical = json::parse(typicalReceiptText());
    const auto snake = decode(typical);
    const auto camel = decode(camelCased(typical));
    ASSERT_TRUE(snake);
    ASSERT_TRUE(camel) << camel.error().message();
    EXPECT_EQ(*camel, *snake);

    // Left to us: the wire spelling wins whatever the order in the text; among
    // other spellings the first in byte order wins.
    auto document = minimalReceipt();
    document["receiptId"] = "camel";
    EXPECT_EQ(decode(document)->receiptId, "rcpt-minimal");
    const std::string camelFirst = R"({"receiptId":"camel",)" + minimalReceipt().dump().substr(1);
    EXPECT_EQ(ReceiptJSON::makeDecoder().decodeReceipt(camelFirst)->receiptId, "rcpt-minimal");
    document.erase("receipt_id");
    document["receipt_Id"] = "odd";
    EXPECT_EQ(decode(document)->receiptId, "camel");
}

TEST(ReceiptKeys, UnknownKeysAreIgnoredAtEveryLevel) {
    auto document = minimalReceipt();
    const auto expected = decode(document);
    document["extra"] = {{"nested", json::array({1, 2})}};
    document["source"]["agent_version"] = "1.2";
    document["items"][0]["tags"] = json::array({"a"});
    document["items"][0]["steps"][0]["screenshot"] = nullptr;
    document["items"][0]["verification"]["note"] = 3;
    document["receiptID"] = "not an alias";
    const auto decoded = decode(document);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, *expected);
}

// Each row changes one value of the minimal receipt (nothing: removes it).
TEST(ReceiptDecoding, ReportsTheFirstFaultWithItsPath) {
    const std::string enumError = "取值无效，应为以下之一：codex、claude_code、opencode、other";
    // clang-format off
    const struct {
        const char* pointer;
        std::optional<json> value;
        std::string error;
    } cases[] = {
        {"/source/task_id", nullptr, ""},
        {"/source/task_id", 7, "source.task_id：类型错误：应为文本，实际为整数"},
        {"/summary", std::nullopt, "summary：缺少必填字段"},
        {"/summary", nullptr, "summary：必填字段不能为 null"},
        {"/items/0/steps/0/requires_password", std::nullopt, "items[0].steps[0].requires_password：缺少必填字段"},
        {"/items/0/prerequisites", nullptr, "items[0].prerequisites：必填字段不能为 null"},
        {"/items/0/prerequisites", std::nullopt, "items[0].prerequisites：缺少必填字段"},
        {"/items", json::array(), ""},
        {"/requires_user_action", 1, "requires_user_action：类型错误：应为布尔值，实际为整数"},
        {"/items/0/estimated_minutes", "5", "items[0].estimated_minutes：类型错误：应为整数，实际为文本"},
        {"/source", "codex", "source：类型错误：应为对象，实际为文本"},
        {"/items/0/steps", json::object(), "items[0].steps：类型错误：应为数组，实际为对象"},
        {"/items/1", "second", "items[1]：类型错误：应为对象，实际为文本"},
        {"/items/0/prerequisites/0", true, "items[0].prerequisites[0]：类型错误：应为文本，实际为布尔值"},
        {"/created_at", 1785141000, "created_at：类型错误：应为文本，实际为整数"},
        {"/updated_at", "2026-07-27T08:30:00", "updated_at：日期必须是 ISO 8601 格式，例如 2026-07-27T08:30:00Z"},
        {"/source/agent", "other", ""},
        {"/source/agent", "Codex", "source.agent：" + enumError},
        {"/source/agent", "", "source.agent：" + enumError},
        {"/items/0/steps/0/kind", "click", "items[0].steps[0].kind：取值无效，应为以下之一：open_application、"
                                           "navigate、paste、run_command、enter_credential、choose、verify、wait、physical"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pointer);
        auto document = minimalReceipt();
        const json::json_pointer pointer(c.pointer);
        if (c.value) {
            document[pointer] = *c.value;
        } else {
            document[pointer.parent_pointer()].erase(pointer.back());
        }
        EXPECT_EQ(decodeError(document.dump()), c.error);
    }
    EXPECT_EQ(decodeError("[]"), "类型错误：应为对象，实际为数组");

    // Fields are read in order: the first fault is the one reported.
    auto document = minimalReceipt();
    document["version"] = "one";
    document["items"][0]["steps"][0]["kind"] = "click";
    document["schema_version"] = nullptr;
    EXPECT_EQ(decode(document).error().path, "schema_version");
    document["schema_version"] = "1.0";
    EXPECT_EQ(decode(document).error().path, "version");
}

TEST(ReceiptDecoding, OptionalValuesKeepAbsentAndEmptyApart) {
    auto document = minimalReceipt();
    EXPECT_EQ(decode(document)->source.taskId, std::nullopt);
    EXPECT_EQ(decode(document)->items[0].payloadVersion, std::nullopt);
    EXPECT_FALSE(
        ReceiptJSON::makeEncoder().toJSON(decode(document)->items[0]).contains("payload_version"));
    document["source"]["task_id"] = "";
    document["items"][0]["payload_version"] = 1;
    const auto decoded = decode(document);
    EXPECT_EQ(decoded->source.taskId, std::optional<std::string>(""));
    EXPECT_EQ(decoded->items[0].payloadVersion, 1);
    EXPECT_NE(ReceiptJSON::makeEncoder().encode(decoded->items[0]).find(R"("payload_version":1)"),
              std::string::npos);
}

// Left to us: integer fields take only integer literals; 5.0 is refused like
// any fraction, since the wire format writes integers in plain decimal.
TEST(ReceiptDecoding, IntegersMustBeWholeAndFitIn64Bits) {
    const auto withMinutes = [](const std::string& literal) {
        auto text = minimalReceipt().dump();
        const std::string field = R"("estimated_minutes":5)";
        return text.replace(text.find(field), field.size(), R"("estimated_minutes":)" + literal);
    };
    const auto minutes = [&](const std::string& literal) {
        return ReceiptJSON::makeDecoder()
            .decodeReceipt(withMinutes(literal))
            ->items[0]
            .estimatedMinutes;
    };
    EXPECT_EQ(minutes("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(minutes("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(minutes("-0"), 0);
    for (const char* fraction : {"5.0", "5e0", "5.5", "-0.0"}) {
        EXPECT_EQ(decodeError(withMinutes(fraction)),
                  "items[0].estimated_minutes：类型错误：应为整数，实际为小数")
            << fraction;
    }
    for (const char* huge : {"9223372036854775808", "18446744073709551616", "-9223372036854775809",
                             "100000000000000000000000000000", "1e300"}) {
        EXPECT_EQ(decodeError(withMinutes(huge)),
                  "items[0].estimated_minutes：整数超出 64 位有符号整数的范围")
            << huge;
    }
}

// The golden files pin the layout: keys in byte order, absent optional fields
// left out, UTC timestamps with milliseconds, "/" and non-ASCII as they are;
// compact has no white space, pretty indents by two.
TEST(ReceiptEncoding, CompactAndPrettyLayoutsAndReplacementCharacters) {
    auto receipt = decode(minimalReceipt());
    ASSERT_TRUE(receipt);
    auto compact = readFile("json/minimal-receipt.compact.json");
    auto pretty = readFile("json/minimal-receipt.pretty.json");
    compact.pop_back();  // the files end with a line break, the encoding does not
    pretty.pop_back();
    EXPECT_EQ(ReceiptJSON::makeEncoder().encode(*receipt), compact);
    EXPECT_EQ(ReceiptJSON::makeEncoder(true).encode(*receipt), pretty);

    receipt->summary = "bad \xff byte";
    const auto text = ReceiptJSON::makeEncoder().encode(*receipt);
    EXPECT_NE(text.find("\"summary\":\"bad \xEF\xBF\xBD byte\""), std::string::npos);
    EXPECT_TRUE(ReceiptJSON::makeDecoder().decodeReceipt(text));
}

TEST(ReceiptEncoding, RoundTripsAndEmbeddedValuesReportTheirPlace) {
    const auto decoder = ReceiptJSON::makeDecoder();
    const auto original = decoder.decodeReceipt(typicalReceiptText());
    ASSERT_TRUE(original) << original.error().message();
    for (bool pretty : {false, true}) {
        const auto text = ReceiptJSON::makeEncoder(pretty).encode(*original);
        const auto again = decoder.decodeReceipt(text);
        ASSERT_TRUE(again) << again.error().message();
        EXPECT_EQ(*again, *original);
        EXPECT_EQ(ReceiptJSON::makeEncoder(pretty).encode(*again), text);
    }
    const auto& item = original->items[0];
    const auto itemAgain = decoder.decodeItem(ReceiptJSON::makeEncoder().encode(item));
    ASSERT_TRUE(itemAgain);
    EXPECT_EQ(*itemAgain, item);

    json archive = {{"receipts", json::array({minimalReceipt(), minimalReceipt()})}};
    archive["receipts"][1]["items"][0]["steps"][0]["order"] = "1";
    EXPECT_TRUE(decoder.receiptFromJSON(archive["receipts"][0], "receipts[0]"));
    EXPECT_EQ(decoder.receiptFromJSON(archive["receipts"][1], "receipts[1]").error().path,
              "receipts[1].items[0].steps[0].order");
    EXPECT_EQ(decoder.itemFromJSON(archive["receipts"][1]["items"][0], "x").error().path,
              "x.steps[0].order");
}

TEST(DecodingErrorText, MessagesOfTheWholeText) {
    EXPECT_EQ(DecodingError::invalidJSON(7).message(), "不是有效的 JSON 文本（第 7 个字节处）");
    EXPECT_EQ(DecodingError::tooDeep(256).message(), "JSON 嵌套超过 256 层");
    EXPECT_EQ(DecodingError::tooLarge().message(), "JSON 文本过大，无法读取");
}
