#include "core/receipt/KeySpelling.h"
#include "core/receipt/ParseJSON.h"
#include "core/receipt/ReceiptJSON.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using kestrin::testing::testData;
using nlohmann::json;

namespace {

// Required fields only; the typical receipt has every optional field somewhere.
json minimalReceipt() {
    return json::parse(testData("json/minimal-receipt.json"));
}
std::string typicalReceiptText() {
    return testData("../../examples/receipt-typical.json");
}
Result<InterventionReceipt, DecodingError> decode(const std::string& text) {
    return ReceiptJSON::makeDecoder().decodeReceipt(text);
}
std::string decodeError(const std::string& text) {
    const auto result = decode(text);
    return result ? "" : result.error().message();
}

std::string withValue(const char* pointer, const std::optional<std::string>& raw) {
    auto document = minimalReceipt();
    const json::json_pointer at(pointer);
    if (!raw) {
        document[at.parent_pointer()].erase(at.back());
        return document.dump();
    }
    document[at] = "@";
    auto text = document.dump();
    return text.replace(text.find(R"("@")"), 3, *raw);
}

json camelCased(const json& value) {
    json result = value.is_object() ? json::object() : value;
    for (const auto& [key, member] : value.items()) {
        if (value.is_object()) result[fromSnakeCase(key)] = camelCased(member);
        if (value.is_array()) result[std::stoul(key)] = camelCased(member);
    }
    return result;
}

}  // namespace

TEST(ReceiptKeys, SpellingsAndWhichOneWins) {
    const std::pair<const char*, const char*> snakeToCamel[] = {
        {"requires_user_action", "requiresUserAction"},
        {"_leading_and_trailing_", "_leadingAndTrailing_"},
        {"task__id", "taskId"},
        {"___", "___"},
        {"receipt_ID", "receiptID"}};
    for (const auto& [snake, camel] : snakeToCamel) EXPECT_EQ(fromSnakeCase(snake), camel) << snake;
    EXPECT_EQ(toSnakeCase("requiresUserAction"), "requires_user_action");
    // Camel-case keys at every level decode like the wire keys.
    const auto typical = json::parse(typicalReceiptText());
    const auto camel = decode(camelCased(typical).dump());
    ASSERT_TRUE(camel) << camel.error().message();
    EXPECT_EQ(*camel, *decode(typical.dump()));
    // Unknown keys are ignored; the wire spelling wins, else the first other one in byte order.
    auto document = minimalReceipt();
    const auto expected = decode(document.dump());
    document.update(
        {{"extra", {{"nested", {1, 2}}}}, {"receiptID", "not an alias"}, {"receiptId", "camel"}});
    document["items"][0]["steps"][0]["x"] = nullptr;
    EXPECT_EQ(*decode(document.dump()), *expected);
    document.erase("receipt_id");
    document["receipt_Id"] = "odd";
    EXPECT_EQ(decode(document.dump())->receiptId, "camel");
}

// One value of the minimal receipt changed or removed; integers take integer literals only.
TEST(ReceiptDecoding, ReportsTheFirstFaultWithItsPath) {
    const std::string agents =
        "source.agent：取值无效，应为以下之一：codex、claude_code、opencode、other";
    const std::string fraction = "items[0].estimated_minutes：类型错误：应为整数，实际为小数";
    const std::string huge = "items[0].estimated_minutes：整数超出 64 位有符号整数的范围";
    const char* m = "/items/0/estimated_minutes";
    const struct {
        const char* pointer;
        std::optional<std::string> value;
        std::string error;
    } cases[] = {
        {"/source/task_id", "null", ""},
        {"/source/task_id", "7", "source.task_id：类型错误：应为文本，实际为整数"},
        {"/summary", std::nullopt, "summary：缺少必填字段"},
        {"/summary", "null", "summary：必填字段不能为 null"},
        {"/items/0/prerequisites", std::nullopt, "items[0].prerequisites：缺少必填字段"},
        {"/items", "[]", ""},
        {"/requires_user_action", "1", "requires_user_action：类型错误：应为布尔值，实际为整数"},
        {m, R"("5")", "items[0].estimated_minutes：类型错误：应为整数，实际为文本"},
        {"/source", R"("codex")", "source：类型错误：应为对象，实际为文本"},
        {"/items/0/steps", "{}", "items[0].steps：类型错误：应为数组，实际为对象"},
        {"/items/1", R"("second")", "items[1]：类型错误：应为对象，实际为文本"},
        {"/items/0/prerequisites/0", "true",
         "items[0].prerequisites[0]：类型错误：应为文本，实际为布尔值"},
        {"/created_at", "1785141000", "created_at：类型错误：应为文本，实际为整数"},
        {"/updated_at", R"("2026-07-27T08:30:00")",
         "updated_at：日期必须是 ISO 8601 格式，例如 2026-07-27T08:30:00Z"},
        {"/source/agent", R"("other")", ""},
        {"/source/agent", R"("Codex")", agents},
        {"/items/0/steps/0/kind", R"("click")",
         "items[0].steps[0].kind：取值无效，应为以下之一：open_application、"
         "navigate、paste、run_command、enter_credential、choose、verify、wait、physical"},
        {m, "9223372036854775807", ""},
        {m, "-9223372036854775808", ""},
        {m, "5.0", fraction},
        {m, "9223372036854775808", huge},
        {m, "18446744073709551616", huge},
        {m, "-9223372036854775809", huge},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeError(withValue(c.pointer, c.value)), c.error)
            << c.pointer << " " << c.value.value_or("-");
    EXPECT_EQ(decodeError("[]"), "类型错误：应为对象，实际为数组");
    EXPECT_EQ(decode(withValue(m, "-9223372036854775808"))->items[0].estimatedMinutes, INT64_MIN);
    // Fields are read in order: the first fault is the one reported.
    auto document = minimalReceipt();
    document.update({{"version", "one"}, {"schema_version", nullptr}});
    document["items"][0]["steps"][0]["kind"] = "click";
    EXPECT_EQ(decode(document.dump()).error().path, "schema_version");
    document["schema_version"] = "1.0";
    EXPECT_EQ(decode(document.dump()).error().path, "version");
}

// Golden files pin the layout; bytes that are not UTF-8 become U+FFFD.
TEST(ReceiptEncoding, CompactAndPrettyLayoutsAndReplacementCharacters) {
    auto receipt = decode(minimalReceipt().dump());
    ASSERT_TRUE(receipt);
    // The files end with a line break, the encoding does not.
    EXPECT_EQ(ReceiptJSON::makeEncoder().encode(*receipt) + "\n",
              testData("json/minimal-receipt.compact.json"));
    EXPECT_EQ(ReceiptJSON::makeEncoder(true).encode(*receipt) + "\n",
              testData("json/minimal-receipt.pretty.json"));
    receipt->summary = "bad \xff byte";
    const auto text = ReceiptJSON::makeEncoder().encode(*receipt);
    EXPECT_NE(text.find("\"summary\":\"bad \xEF\xBF\xBD byte\""), std::string::npos);
}

TEST(ReceiptEncoding, RoundTripsAndEmbeddedValuesReportTheirPlace) {
    const auto decoder = ReceiptJSON::makeDecoder();
    const auto original = decoder.decodeReceipt(typicalReceiptText());
    ASSERT_TRUE(original) << original.error().message();
    const auto again = decoder.decodeReceipt(ReceiptJSON::makeEncoder(true).encode(*original));
    ASSERT_TRUE(again) << again.error().message();
    EXPECT_EQ(*again, *original);
    EXPECT_EQ(*decoder.decodeItem(ReceiptJSON::makeEncoder().encode(original->items[0])),
              original->items[0]);
    // An empty optional text stays present; an item's payload version is kept.
    EXPECT_EQ(decoder.decodeReceipt(withValue("/source/task_id", R"("")"))->source.taskId, "");
    const auto stamped = decoder.decodeReceipt(withValue("/items/0/payload_version", "1"));
    EXPECT_EQ(ReceiptJSON::makeEncoder().toJSON(stamped->items[0])["payload_version"], 1);
    json archive = {{"receipts", json::array({minimalReceipt(), minimalReceipt()})}};
    archive["receipts"][1]["items"][0]["steps"][0]["order"] = "1";
    EXPECT_TRUE(decoder.receiptFromJSON(archive["receipts"][0], "receipts[0]"));
    EXPECT_EQ(decoder.receiptFromJSON(archive["receipts"][1], "receipts[1]").error().path,
              "receipts[1].items[0].steps[0].order");
    EXPECT_EQ(decoder.itemFromJSON(archive["receipts"][1]["items"][0], "x").error().path,
              "x.steps[0].order");
}

// Errors name the byte where strict parsing stopped, or the depth limit; duplicate keys: last wins.
TEST(ParseJSON, RefusesTextThatIsNotStrictJson) {
    using namespace std::string_literals;
    const auto parseError = [](const std::string& text) {
        const auto result = parseJSON(text);
        return result ? "" : result.error().message();
    };
    const auto nested = [](std::size_t depth) {
        return std::string(depth, '[') + std::string(depth, ']');
    };
    const std::string tooDeep = "JSON 嵌套超过 256 层";
    std::string objects;
    for (int i = 0; i < 300000; ++i) objects += R"({"a":)";
    const std::pair<std::string, std::string> cases[] = {
        {"", "不是有效的 JSON 文本（第 1 个字节处）"},
        {"{\"a\":\"\xff\"}", "不是有效的 JSON 文本（第 7 个字节处）"},  // invalid UTF-8
        {"{\"a\":\"\xC3\"}", "不是有效的 JSON 文本（第 8 个字节处）"},  // truncated sequence
        {"{\"a\":1}\0{\"b\":2}"s, "不是有效的 JSON 文本（第 8 个字节处）"},
        {"\"\\ud800\"", "不是有效的 JSON 文本（第 8 个字节处）"},  // lone surrogate
        {"\xEF\xBB\xBF{}", ""},
        {nested(maxJSONDepth), ""},
        {nested(maxJSONDepth + 1), tooDeep},
        {objects, tooDeep},
    };
    for (const auto& [text, error] : cases)
        EXPECT_EQ(parseError(text), error) << text.substr(0, 40);
    for (const auto& text : {"{}x"s, "{}{}"s, "/**/{}"s, "{'a':1}"s, "[1,]"s, "[1e400]"s,
                             "\"a\tb\""s, "  "s, "NaN"s}) {
        EXPECT_TRUE(parseError(text).starts_with("不是有效的 JSON 文本（第 ")) << text;
    }
    EXPECT_EQ(parseJSON(R"({"a":"x\u0000y"})")->at("a").get<std::string>(), std::string("x\0y", 3));
    EXPECT_EQ(parseJSON(R"({"a":1,"a":{"b":2}})")->at("a"), json({{"b", 2}}));
    // A huge text and a NUL survive a round trip; deep nesting under an unknown key does not.
    auto document = minimalReceipt();
    for (const std::string& summary : {std::string(16 << 20, 'x'), std::string("a\0b", 3)}) {
        document["summary"] = summary;
        EXPECT_EQ(decode(ReceiptJSON::makeEncoder().encode(*decode(document.dump())))->summary,
                  summary);
    }
    EXPECT_EQ(decodeError(R"({"x":)" + nested(400000) + "," + document.dump().substr(1)), tooDeep);
}
