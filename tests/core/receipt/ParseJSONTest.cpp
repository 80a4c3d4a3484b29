#include <gtest/gtest.h>

#include "core/receipt/ParseJSON.h"
#include "core/receipt/ReceiptJSON.h"

using namespace kestrin;

namespace {

DecodingError parseError(std::string_view text) {
    const auto result = parseJSON(text);
    if (result) {
        ADD_FAILURE() << "parsed: " << result->dump();
        return {};
    }
    return result.error();
}

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

}  // namespace

TEST(ParseJSON, RefusesTextThatIsNotStrictJsonWithTheByteWhereItStopped) {
    using namespace std::string_literals;
    EXPECT_EQ(parseError(""), DecodingError::invalidJSON(1));
    EXPECT_EQ(parseError("{\"a\":\"\xff\"}"), DecodingError::invalidJSON(7));  // invalid UTF-8
    EXPECT_EQ(parseError("{\"a\":\"\xC3\"}"), DecodingError::invalidJSON(8));  // truncated sequence
    EXPECT_EQ(parseError("{\"a\":1}\0{\"b\":2}"s), DecodingError::invalidJSON(8));
    EXPECT_EQ(parseError("\"\\ud800\""), DecodingError::invalidJSON(8));  // lone surrogate
    for (const auto& text : {"{}x"s, "{}{}"s, "/**/{}"s, "{'a':1}"s, "[1,]"s, "[1e400]"s,
                             "\"a\tb\""s, "\xff\xfe{\0}\0"s, "{\"caf\xe9\":1}"s, "  "s, "NaN"s}) {
        EXPECT_EQ(parseError(text).description.rfind("不是有效的 JSON 文本", 0), 0u) << text;
    }
}

// Also: a byte order mark, an escaped NUL, and duplicate keys (the last wins,
// as in most parsers). Nesting is limited without recursion.
TEST(ParseJSON, AcceptsWhatStrictJsonAllowsUpToTheDepthLimit) {
    EXPECT_TRUE(parseJSON("\xEF\xBB\xBF{}"));
    EXPECT_EQ(parseJSON(R"({"a":"x\u0000y"})")->at("a").get<std::string>(), std::string("x\0y", 3));
    EXPECT_EQ(parseJSON(R"({"a":1,"a":{"b":2}})")->at("a"), nlohmann::json({{"b", 2}}));
    EXPECT_TRUE(parseJSON(nested(maxJSONDepth)));
    EXPECT_EQ(parseError(nested(maxJSONDepth + 1)), DecodingError::tooDeep(maxJSONDepth));
    EXPECT_EQ(parseError(std::string(500000, '[')), DecodingError::tooDeep(maxJSONDepth));
    std::string objects;
    for (int i = 0; i < 300000; ++i) objects += R"({"a":)";
    EXPECT_EQ(parseError(objects), DecodingError::tooDeep(maxJSONDepth));
}

// Hostile input inside a receipt: the decode is all or nothing.
TEST(ParseJSON, ReceiptsSurviveHostileContent) {
    const auto decoder = ReceiptJSON::makeDecoder();
    const std::string receipt =
        R"({"schema_version":"1.0","receipt_id":"r-1","version":1,)"
        R"("created_at":"2026-07-27T08:30:00Z","updated_at":"2026-07-27T08:30:00Z",)"
        R"("source":{"agent":"codex","task_title":"t"},"project":{"name":"n","path":"/p"},)"
        R"("state":"paused","requires_user_action":false,"items":[],"summary":)";

    const std::string huge(16 << 20, 'x');
    const auto big = decoder.decodeReceipt(receipt + '"' + huge + "\"}");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->summary.size(), huge.size());

    const auto nul = decoder.decodeReceipt(receipt + R"("a\u0000b"})");
    ASSERT_TRUE(nul);
    EXPECT_EQ(nul->summary, std::string("a\0b", 3));
    EXPECT_EQ(decoder.decodeReceipt(ReceiptJSON::makeEncoder().encode(*nul))->summary,
              nul->summary);

    const auto deepUnknown = decoder.decodeReceipt(receipt + R"("s","x":)" + nested(400000) + "}");
    EXPECT_EQ(deepUnknown.error(), DecodingError::tooDeep(maxJSONDepth));
}
