#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/receipt/KeySpelling.h"
#include "core/receipt/ReceiptJSON.h"

using namespace kestrin;
using nlohmann::json;

namespace {

const char* const kDateError = "日期必须是 ISO 8601 格式，例如 2026-07-27T08:30:00Z";

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string dataFile(const std::string& name) {
    return readFile(std::string(VELMORA_TEST_DATA) + "/json/" + name);
}

// One item of one step, required fields only; tests change it as they need.
json minimalReceipt() {
    return json::parse(dataFile("minimal-receipt.json"));
}

// Three items of four steps with every optional field somewhere.
std::string typicalReceiptText() {
    return readFile(std::string(VELMORA_TEST_DATA) + "/../../examples/receipt-typical.json");
}

Result<InterventionReceipt, DecodingError> decode(const json& document) {
    return ReceiptJSON::makeDecoder().decodeReceipt(document.dump());
}

DecodingError decodeError(const json& document) {
    const auto result = decode(document);
    if (result) {
        ADD_FAILURE() << "decoded: " << document.dump();
        return {};
    }
    return result.error();
}

// The same document with every key spelled in camel case, at every level.
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

// --- Key spelling -----------------------------------------------------------

TEST(ReceiptKeys, ConvertBetweenWireKeysAndFieldNames) {
    EXPECT_EQ(fromSnakeCase("expected_outcome"), "expectedOutcome");
    EXPECT_EQ(fromSnakeCase("requires_user_action"), "requiresUserAction");
    EXPECT_EQ(fromSnakeCase("_leading_and_trailing_"), "_leadingAndTrailing_");
    EXPECT_EQ(fromSnakeCase("task__id"), "taskId");
    EXPECT_EQ(fromSnakeCase("___"), "___");
    EXPECT_EQ(fromSnakeCase("taskTitle"), "taskTitle");
    EXPECT_EQ(fromSnakeCase("receipt_ID"), "receiptID");
    EXPECT_EQ(toSnakeCase("requiresUserAction"), "requires_user_action");
    EXPECT_EQ(toSnakeCase("receiptId"), "receipt_id");
    EXPECT_EQ(toSnakeCase("id"), "id");
}

TEST(ReceiptKeys, CamelCaseKeysDecodeLikeSnakeCaseKeys) {
    const auto typical = json::parse(typicalReceiptText());
    const auto snake = decode(typical);
    const auto camel = decode(camelCased(typical));
    ASSERT_TRUE(snake);
    ASSERT_TRUE(camel) << camel.error().message();
    EXPECT_EQ(*camel, *snake);
    EXPECT_EQ(camel->source.taskTitle, "迁移账单服务到 PostgreSQL 16");
}

// Left to us: when one object holds several spellings of one field, the wire
// spelling wins, whatever the order in the text; among other spellings the
// first in byte order wins.
TEST(ReceiptKeys, WireSpellingWinsOverOtherSpellings) {
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

// --- Presence ---------------------------------------------------------------

TEST(ReceiptPresence, OptionalTextNullOrMissingIsAbsentEmptyIsPresent) {
    auto document = minimalReceipt();
    EXPECT_EQ(decode(document)->source.taskId, std::nullopt);
    document["source"]["task_id"] = nullptr;
    EXPECT_EQ(decode(document)->source.taskId, std::nullopt);
    document["source"]["task_id"] = "";
    EXPECT_EQ(decode(document)->source.taskId, std::optional<std::string>(""));
    document["source"]["task_id"] = 7;
    EXPECT_EQ(decodeError(document),
              (DecodingError{"source.task_id", "类型错误：应为文本，实际为整数"}));
}

TEST(ReceiptPresence, RequiredFieldMissingOrNullFailsWithItsPath) {
    auto document = minimalReceipt();
    document.erase("summary");
    EXPECT_EQ(decodeError(document), (DecodingError{"summary", "缺少必填字段"}));
    document["summary"] = nullptr;
    EXPECT_EQ(decodeError(document), (DecodingError{"summary", "必填字段不能为 null"}));

    document = minimalReceipt();
    document["items"][0]["steps"][0].erase("requires_password");
    EXPECT_EQ(decodeError(document),
              (DecodingError{"items[0].steps[0].requires_password", "缺少必填字段"}));
}

TEST(ReceiptPresence, ListsAreRequiredButMayBeEmpty) {
    auto document = minimalReceipt();
    document["items"][0]["prerequisites"] = nullptr;
    EXPECT_EQ(decodeError(document),
              (DecodingError{"items[0].prerequisites", "必填字段不能为 null"}));
    document["items"][0].erase("prerequisites");
    EXPECT_EQ(decodeError(document), (DecodingError{"items[0].prerequisites", "缺少必填字段"}));
    document["items"][0]["prerequisites"] = json::array();
    EXPECT_TRUE(decode(document));

    document["items"] = json::array();
    const auto empty = decode(document);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->items.empty());
}

TEST(ReceiptPresence, PayloadVersionIsKeptAsWrittenAndOmittedWhenAbsent) {
    auto document = minimalReceipt();
    const auto decoded = decode(document);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->items[0].payloadVersion, std::nullopt);
    const auto encoder = ReceiptJSON::makeEncoder();
    EXPECT_FALSE(encoder.toJSON(decoded->items[0]).contains("payload_version"));

    document["items"][0]["payload_version"] = 1;
    const auto stamped = decode(document);
    EXPECT_EQ(stamped->items[0].payloadVersion, 1);
    EXPECT_NE(encoder.encode(stamped->items[0]).find(R"("payload_version":1)"), std::string::npos);
}

// --- Types ------------------------------------------------------------------

TEST(ReceiptTypes, WrongJsonTypeFailsWithExpectedAndActualType) {
    const struct {
        json::json_pointer pointer;
        json value;
        DecodingError error;
    } cases[] = {
        {"/requires_user_action"_json_pointer,
         1,
         {"requires_user_action", "类型错误：应为布尔值，实际为整数"}},
        {"/items/0/estimated_minutes"_json_pointer,
         "5",
         {"items[0].estimated_minutes", "类型错误：应为整数，实际为文本"}},
        {"/source"_json_pointer, "codex", {"source", "类型错误：应为对象，实际为文本"}},
        {"/items/0/steps"_json_pointer,
         json::object(),
         {"items[0].steps", "类型错误：应为数组，实际为对象"}},
        {"/items/1"_json_pointer, "second", {"items[1]", "类型错误：应为对象，实际为文本"}},
        {"/items/0/prerequisites/0"_json_pointer,
         true,
         {"items[0].prerequisites[0]", "类型错误：应为文本，实际为布尔值"}},
        {"/created_at"_json_pointer, 1785141000, {"created_at", "类型错误：应为文本，实际为整数"}},
    };
    for (const auto& c : cases) {
        auto document = minimalReceipt();
        document[c.pointer] = c.value;
        EXPECT_EQ(decodeError(document), c.error) << c.pointer.to_string();
    }
    EXPECT_EQ(ReceiptJSON::makeDecoder().decodeReceipt("[]").error(),
              (DecodingError{"", "类型错误：应为对象，实际为数组"}));
}

// Left to us: integer fields take only integer literals; 5.0 is refused like
// any fraction, since the wire format writes integers in plain decimal.
TEST(ReceiptTypes, IntegersMustBeWholeAndFitIn64Bits) {
    const auto withMinutes = [](const std::string& literal) {
        auto text = minimalReceipt().dump();
        const std::string field = R"("estimated_minutes":5)";
        text.replace(text.find(field), field.size(), R"("estimated_minutes":)" + literal);
        return ReceiptJSON::makeDecoder().decodeReceipt(text);
    };
    EXPECT_EQ(withMinutes("9223372036854775807")->items[0].estimatedMinutes, INT64_MAX);
    EXPECT_EQ(withMinutes("-9223372036854775808")->items[0].estimatedMinutes, INT64_MIN);
    EXPECT_EQ(withMinutes("-0")->items[0].estimatedMinutes, 0);
    for (const char* fraction : {"5.0", "5e0", "5.5", "-0.0"}) {
        EXPECT_EQ(withMinutes(fraction).error(),
                  (DecodingError{"items[0].estimated_minutes", "类型错误：应为整数，实际为小数"}))
            << fraction;
    }
    for (const char* huge : {"9223372036854775808", "18446744073709551616", "-9223372036854775809",
                             "100000000000000000000000000000", "1e300"}) {
        EXPECT_EQ(withMinutes(huge).error(),
                  (DecodingError{"items[0].estimated_minutes", "整数超出 64 位有符号整数的范围"}))
            << huge;
    }
}

TEST(ReceiptTypes, EnumerationsTakeOnlyTheirExactRawValues) {
    auto document = minimalReceipt();
    document["source"]["agent"] = "other";
    EXPECT_EQ(decode(document)->source.agent, AgentKind::other);
    for (const char* wrong : {"Codex", "claude-code", "CODEX", ""}) {
        document["source"]["agent"] = wrong;
        EXPECT_EQ(decodeError(document),
                  (DecodingError{"source.agent",
                                 "取值无效，应为以下之一：codex、claude_code、opencode、other"}))
            << wrong;
    }

    auto typical = json::parse(typicalReceiptText());
    typical["items"][0]["steps"][2]["kind"] = "click";
    EXPECT_EQ(decodeError(typical).path, "items[0].steps[2].kind");
}

// The first fault in field order is the one reported.
TEST(ReceiptTypes, FirstFaultInFieldOrderIsReported) {
    auto document = minimalReceipt();
    document["version"] = "one";
    document["items"][0]["steps"][0]["kind"] = "click";
    document["schema_version"] = nullptr;
    EXPECT_EQ(decodeError(document).path, "schema_version");
    document["schema_version"] = "1.0";
    EXPECT_EQ(decodeError(document).path, "version");
}

// --- Dates ------------------------------------------------------------------

TEST(ReceiptDates, AcceptsBothFormsWithAZoneAndWritesUtcMilliseconds) {
    auto document = minimalReceipt();
    document["created_at"] = "2026-07-27T08:30:00Z";
    document["updated_at"] = "2026-07-27T08:30:00.000Z";
    auto decoded = decode(document);
    EXPECT_EQ(decoded->createdAt, decoded->updatedAt);

    document["updated_at"] = "2026-07-27T16:30:00+08:00";
    decoded = decode(document);
    EXPECT_EQ(decoded->updatedAt, decoded->createdAt);
    const auto written = json::parse(ReceiptJSON::makeEncoder().encode(*decoded));
    EXPECT_EQ(written["updated_at"], "2026-07-27T08:30:00.000Z");
}

TEST(ReceiptDates, OtherTextsFailWithTheDateMessage) {
    for (const char* text : {"2026-07-27T08:30:00", "2026-07-27", "", "yesterday",
                             "0000-01-01T00:00:00+00:01", "9999-12-31T23:59:59-00:01"}) {
        auto document = minimalReceipt();
        document["updated_at"] = text;
        EXPECT_EQ(decodeError(document), (DecodingError{"updated_at", kDateError})) << text;
    }
}

TEST(ReceiptDates, PrecisionBelowAMillisecondIsDropped) {
    auto document = minimalReceipt();
    document["created_at"] = "2026-07-27T08:30:00.1234Z";
    const auto written = json::parse(ReceiptJSON::makeEncoder().encode(*decode(document)));
    EXPECT_EQ(written["created_at"], "2026-07-27T08:30:00.123Z");
}

// --- Encoding ---------------------------------------------------------------

// The golden files pin the whole layout: keys sorted in byte order, absent
// optional fields left out, timestamps with milliseconds, "/" and non-ASCII
// written as they are; compact has no white space, pretty indents by two.
TEST(ReceiptEncoding, CompactAndPrettyLayouts) {
    const auto receipt = decode(minimalReceipt());
    ASSERT_TRUE(receipt);
    auto compact = dataFile("minimal-receipt.compact.json");
    auto pretty = dataFile("minimal-receipt.pretty.json");
    compact.pop_back();  // the files end with a line break, the encoding does not
    pretty.pop_back();
    EXPECT_EQ(ReceiptJSON::makeEncoder().encode(*receipt), compact);
    EXPECT_EQ(ReceiptJSON::makeEncoder(true).encode(*receipt), pretty);
    EXPECT_EQ(compact.rfind(R"({"created_at":"2026-07-27T08:30:00.000Z","items":[)", 0), 0u);
}

TEST(ReceiptEncoding, TextThatIsNotUtf8IsWrittenWithReplacementCharacters) {
    auto receipt = *decode(minimalReceipt());
    receipt.summary = "bad \xff byte";
    const auto text = ReceiptJSON::makeEncoder().encode(receipt);
    EXPECT_NE(text.find("\"summary\":\"bad \xEF\xBF\xBD byte\""), std::string::npos);
    EXPECT_TRUE(ReceiptJSON::makeDecoder().decodeReceipt(text));
}

// --- Round trip -------------------------------------------------------------

TEST(ReceiptRoundTrip, EncodingThenDecodingGivesAnEqualReceipt) {
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
    EXPECT_EQ(kestrinISO8601(original->updatedAt), "2026-07-27T09:05:12.250Z");

    const auto& item = original->items[0];
    const auto itemAgain = decoder.decodeItem(ReceiptJSON::makeEncoder().encode(item));
    ASSERT_TRUE(itemAgain);
    EXPECT_EQ(*itemAgain, item);
}

TEST(ReceiptRoundTrip, ValuesEmbeddedInOtherDocumentsReportTheirPlace) {
    json archive = {{"receipts", json::array({minimalReceipt(), minimalReceipt()})}};
    archive["receipts"][1]["items"][0]["steps"][0]["order"] = "1";
    const auto decoder = ReceiptJSON::makeDecoder();
    EXPECT_TRUE(decoder.receiptFromJSON(archive["receipts"][0], "receipts[0]"));
    EXPECT_EQ(decoder.receiptFromJSON(archive["receipts"][1], "receipts[1]").error().path,
              "receipts[1].items[0].steps[0].order");
    EXPECT_EQ(decoder.itemFromJSON(archive["receipts"][1]["items"][0], "x").error().path,
              "x.steps[0].order");
}

// --- Errors -----------------------------------------------------------------

TEST(DecodingErrorText, MessageJoinsPathAndDescription) {
    EXPECT_EQ((DecodingError{"items[0].steps[2].kind", "缺少必填字段"}).message(),
              "items[0].steps[2].kind：缺少必填字段");
    EXPECT_EQ(DecodingError::invalidJSON(7).message(), "不是有效的 JSON 文本（第 7 个字节处）");
    EXPECT_EQ(DecodingError::tooDeep(256).message(), "JSON 嵌套超过 256 层");
    EXPECT_EQ(DecodingError::tooLarge().message(), "JSON 文本过大，无法读取");
    EXPECT_EQ(DecodingError::invalidDate("created_at").message(),
              std::string("created_at：") + kDateError);
}
