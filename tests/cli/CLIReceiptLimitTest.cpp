#include <gtest/gtest.h>

#include "CLIFixture.h"
#include "core/checks/ImportError.h"
#include "core/intake/ReceiptImporter.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIReceiptLimitTest : public CLIFixture {};

}  // namespace

// Standard input is read only up to the size limit: a longer stream is refused
// as too large without being held whole, and nothing is stored.
TEST_F(CLIReceiptLimitTest, ImportRefusesAnOversizedStandardInput) {
    std::string receipt = readFile(testData("intake/deploy-v1.json"));
    receipt.resize(ReceiptImporter::maxReceiptBytes + (1 << 20), ' ');
    const CLIRun refused = run({"import", "-"}, receipt);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.errors, "标准输入：" + ImportError::tooLarge().description() + "\n");
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), (std::vector<std::string>{"0"}));
}
