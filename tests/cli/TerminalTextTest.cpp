// Display columns, fitting, wrapping and the printable form of receipt texts.

#include <gtest/gtest.h>

#include "cli/TaskSearch.h"
#include "cli/TerminalText.h"

using namespace kestrin;

namespace {

using Lines = std::vector<std::string>;

TEST(TerminalTextTest, ColumnsCountWideCharactersTwiceAndMarksNotAtAll) {
    EXPECT_EQ(TerminalText::columns("abc"), 3);
    EXPECT_EQ(TerminalText::columns("中文"), 4);
    EXPECT_EQ(TerminalText::columns("，。"), 4);      // fullwidth punctuation
    EXPECT_EQ(TerminalText::columns("ＡＢ"), 4);      // fullwidth Latin
    EXPECT_EQ(TerminalText::columns("ｱｲ"), 2);        // halfwidth katakana
    EXPECT_EQ(TerminalText::columns("한글"), 4);      // Hangul syllables
    EXPECT_EQ(TerminalText::columns("e\u0301"), 1);   // e + combining acute
    EXPECT_EQ(TerminalText::columns("a\u200Db"), 2);  // zero width joiner
    EXPECT_EQ(TerminalText::columns("\xFF"), 1);      // shown as U+FFFD
}

TEST(TerminalTextTest, FittingCutsAtColumnsAndKeepsMarksWithTheirLetter) {
    EXPECT_EQ(TerminalText::fitted("在终端运行安装命令", 18), "在终端运行安装命令");
    EXPECT_EQ(TerminalText::fitted("在终端运行安装命令", 17), "在终端运行安装命…");
    EXPECT_EQ(TerminalText::fitted("在终端运行安装命令", 16), "在终端运行安装…");  // 15 columns
    EXPECT_EQ(TerminalText::fitted("abcdef", 4), "abc…");
    EXPECT_EQ(TerminalText::fitted("abcdef", 1), "…");
    EXPECT_EQ(TerminalText::fitted("abcdef", 0), "");
    EXPECT_EQ(TerminalText::fitted("e\u0301e\u0301e\u0301", 2), "e\u0301…");
    EXPECT_EQ(TerminalText::padded("中", 5), "中   ");
    EXPECT_EQ(TerminalText::padded("中文字", 5), "中文…");
}

TEST(TerminalTextTest, WrappingBreaksBetweenWordsAndBetweenCJKCharacters) {
    EXPECT_EQ(TerminalText::wrapped("the quick brown fox", 10), (Lines{"the quick", "brown fox"}));
    EXPECT_EQ(TerminalText::wrapped("在终端运行安装命令。", 8),
              (Lines{"在终端运", "行安装命", "令。"}));  // "。" never starts a line
    EXPECT_EQ(TerminalText::wrapped("abcdefghij", 4), (Lines{"abcd", "efgh", "ij"}));
    EXPECT_EQ(TerminalText::wrapped("one\n\ntwo", 10), (Lines{"one", "", "two"}));
    EXPECT_EQ(TerminalText::wrapped("a long line kept whole", std::nullopt),
              (Lines{"a long line kept whole"}));
    for (const auto& line : TerminalText::wrapped("运行 make check 之后把 输出 贴回 Agent", 9)) {
        EXPECT_LE(TerminalText::columns(line), 9) << line;
    }
}

TEST(TerminalTextTest, PrintableFormReplacesEveryControlCharacter) {
    EXPECT_EQ(TerminalText::printable("a\x1b[31mb\x07", false), "a\uFFFD[31mb\uFFFD");
    EXPECT_EQ(TerminalText::printable("a\x9b"
                                      "b",
                                      false),
              "a\uFFFDb");                                              // ill-formed byte
    EXPECT_EQ(TerminalText::printable("a\u009Bb", false), "a\uFFFDb");  // C1 CSI
    EXPECT_EQ(TerminalText::printable("a\tb\x7f", false), "a b\uFFFD");
    EXPECT_EQ(TerminalText::printable("one\r\ntwo\nthree", true), "one\ntwo\nthree");
    EXPECT_EQ(TerminalText::printable("one\r\ntwo\nthree", false), "one two three");
    EXPECT_EQ(TerminalText::printable("a\rb", true), "a\uFFFDb");
}

TEST(TaskSearchTest, SearchFormIsLowerCaseAndComposed) {
    EXPECT_EQ(TaskSearch::searchForm("ÀB Claude"), "àb claude");
    EXPECT_EQ(TaskSearch::searchForm("Cafe\u0301"), "caf\u00e9");
    EXPECT_EQ(TaskSearch::searchForm("ΣΑΣ"), "σας");  // final sigma by full case mapping
}

TEST(TaskSearchTest, AQueryTypedDecomposedFindsComposedText) {
    TaskRecord task;
    task.item.title = "Caf\u00e9 öffnen";
    EXPECT_TRUE(TaskSearch("  CAFE\u0301 ").matches(task));
    EXPECT_TRUE(TaskSearch("终端命令").matches(task));    // the category's display name
    EXPECT_TRUE(TaskSearch("其他 agent").matches(task));  // the agent's display name
    EXPECT_FALSE(TaskSearch("tee").matches(task));
    EXPECT_TRUE(TaskSearch(" ").isEmpty());
}

}  // namespace
