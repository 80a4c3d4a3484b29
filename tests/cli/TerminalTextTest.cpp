// In-process: display columns, fitting, wrapping, the printable form of receipt texts, and the
// search form of the app's search rule.

#include <gtest/gtest.h>

#include "cli/TaskSearch.h"
#include "cli/TerminalText.h"

using namespace kestrin;

namespace {

using Lines = std::vector<std::string>;

TEST(TerminalTextTest, ColumnsFittingWrappingAndPrintableForm) {
    // clang-format off
    // Fullwidth punctuation and Latin, halfwidth kana, Hangul, a combining mark, a joiner, U+FFFD.
    const std::pair<const char*, int> columns[] = {{"abc", 3}, {"中文", 4}, {"，。", 4}, {"ＡＢ", 4},
        {"ｱｲ", 2}, {"한글", 4}, {"e\u0301", 1}, {"a\u200Db", 2}, {"\xFF", 1}};
    const std::tuple<const char*, int, const char*> fitted[] = {
        {"在终端运行安装命令", 18, "在终端运行安装命令"}, {"在终端运行安装命令", 17, "在终端运行安装命…"},
        {"在终端运行安装命令", 16, "在终端运行安装…"}, {"abcdef", 4, "abc…"}, {"abcdef", 1, "…"},
        {"abcdef", 0, ""}, {"e\u0301e\u0301e\u0301", 2, "e\u0301…"}};
    const std::tuple<const char*, std::optional<int>, Lines> wrapped[] = {
        {"the quick brown fox", 10, {"the quick", "brown fox"}},
        {"在终端运行安装命令。", 8, {"在终端运", "行安装命", "令。"}},  // "。" never starts a line
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}}, {"one\n\ntwo", 10, {"one", "", "two"}},
        {"a long line kept whole", std::nullopt, {"a long line kept whole"}}};
    // A stray ill-formed byte, a C1 CSI, line breaks kept or joined.
    const std::tuple<const char*, bool, const char*> printable[] = {
        {"a\x1b[31mb\x07", false, "a\uFFFD[31mb\uFFFD"}, {"a\x9b" "b", false, "a\uFFFDb"},
        {"a\u009Bb", false, "a\uFFFDb"}, {"a\tb\x7f", false, "a b\uFFFD"},
        {"one\r\ntwo\nthree", true, "one\ntwo\nthree"}, {"one\r\ntwo\nthree", false, "one two three"},
        {"a\rb", true, "a\uFFFDb"}};
    // clang-format on
    for (const auto& [text, expected] : columns)
        EXPECT_EQ(TerminalText::columns(text), expected) << text;
    for (const auto& [text, width, expected] : fitted)
        EXPECT_EQ(TerminalText::fitted(text, width), expected);
    for (const auto& [text, width, expected] : wrapped)
        EXPECT_EQ(TerminalText::wrapped(text, width), expected);
    for (const auto& [text, keep, expected] : printable)
        EXPECT_EQ(TerminalText::printable(text, keep), expected);
    EXPECT_EQ(TerminalText::padded("中", 5), "中   ");
    EXPECT_EQ(TerminalText::padded("中文字", 5), "中文…");
    for (const auto& line : TerminalText::wrapped("运行 make check 之后把 输出 贴回 Agent", 9))
        EXPECT_LE(TerminalText::columns(line), 9) << line;
}

TEST(TaskSearchTest, SearchFormIsLowerCaseAndComposed) {
    EXPECT_EQ(TaskSearch::searchForm("ÀB Claude"), "àb claude");
    EXPECT_EQ(TaskSearch::searchForm("Cafe\u0301"), "caf\u00e9");
    EXPECT_EQ(TaskSearch::searchForm("ΣΑΣ"), "σας");  // final sigma by full case mapping
    EXPECT_TRUE(TaskSearch(" ").isEmpty());
}

}  // namespace
