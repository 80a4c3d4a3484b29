// The receipt checks on the import path: validating a decoded receipt and
// scanning its text for secrets. Aim: a typical receipt checked in well under
// 100 µs; a 1 MiB receipt text scanned at 20 MB/s or better.

#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>

#include "core/checks/ReceiptValidator.h"
#include "core/checks/SecretScanner.h"

using namespace kestrin;

namespace {

ActionStep makeStep(int item, int order) {
    ActionStep step;
    step.id = "item-" + std::to_string(item) + ".step-" + std::to_string(order);
    step.order = order;
    step.title = "第 " + std::to_string(order) + " 步：检查部署配置";
    step.instruction = "在终端进入 /Users/me/projects/velmora 后运行下面的命令，并确认输出。";
    step.kind = order == 2 ? ActionKind::runCommand : ActionKind::verify;
    step.workingDirectory = "/Users/me/projects/velmora";
    if (order == 2) step.command = "sudo launchctl kickstart -k system/com.example.agent";
    step.requiresPassword = order == 2;
    if (order == 2)
        step.passwordPrompt = "在终端输入本机登录密码；输入时字符不显示，按 Ctrl-C 取消。";
    step.successSignal = "终端显示 service restarted，且没有报错。";
    step.failureAction = "复制完整报错发回 Agent，不要重复执行。";
    return step;
}

InterventionItem makeItem(int index) {
    InterventionItem item;
    item.id = "item-" + std::to_string(index);
    item.title = "授予终端完全磁盘访问权限并重启代理服务";
    item.reason = "系统设置中的权限只能由本人在图形界面授予，Agent 无法代为操作。";
    item.expectedOutcome = "代理服务以新权限运行，构建脚本可以读取 ~/Library/Keychains。";
    item.category = InterventionCategory::permission;
    item.priority = index == 0 ? TaskPriority::critical : TaskPriority::high;
    item.estimatedMinutes = 10;
    item.prerequisites = {"已登录管理员账户"};
    for (int order = 1; order <= 4; ++order) item.steps.push_back(makeStep(index, order));
    item.verification = {"重新运行 make check。", "make check 输出 all tests passed。"};
    item.risk = "重启服务会中断正在运行的构建。";
    item.rollback = "在系统设置中撤销权限后运行 sudo launchctl kickstart -k 恢复。";
    item.resumeContext = "继续执行 scripts/release.sh 的第 3 步。";
    return item;
}

InterventionReceipt makeReceipt(int items) {
    InterventionReceipt receipt;
    receipt.schemaVersion = "1.0";
    receipt.receiptId = "rc-2026-07-27-build";
    receipt.version = 3;
    receipt.source = {AgentKind::codex, "发布前修复签名问题",
                      "019a2b3c-4d5e-6f70-8192-a3b4c5d6e7f8", std::nullopt};
    receipt.project = {"velmora", "/Users/me/projects/velmora"};
    receipt.state = ReceiptState::waitingForUser;
    receipt.requiresUserAction = true;
    receipt.summary = "签名需要本人授予权限并输入密码，Agent 已暂停等待。";
    for (int i = 0; i < items; ++i) receipt.items.push_back(makeItem(i));
    return receipt;
}

// The receipt as the MCP server hands it to the importer: compact JSON with
// every "/" escaped as "\/", so the escape-resolving scan always runs.
std::string receiptText(const InterventionReceipt& receipt) {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : receipt.items) {
        nlohmann::json steps = nlohmann::json::array();
        for (const auto& step : item.steps) {
            nlohmann::json s{{"id", step.id},
                             {"order", step.order},
                             {"title", step.title},
                             {"instruction", step.instruction},
                             {"kind", rawValue(step.kind)},
                             {"working_directory", *step.workingDirectory},
                             {"requires_password", step.requiresPassword},
                             {"success_signal", step.successSignal},
                             {"failure_action", step.failureAction}};
            if (step.command) s["command"] = *step.command;
            if (step.passwordPrompt) s["password_prompt"] = *step.passwordPrompt;
            steps.push_back(s);
        }
        items.push_back({{"id", item.id},
                         {"title", item.title},
                         {"reason", item.reason},
                         {"expected_outcome", item.expectedOutcome},
                         {"category", rawValue(item.category)},
                         {"priority", rawValue(item.priority)},
                         {"estimated_minutes", item.estimatedMinutes},
                         {"prerequisites", item.prerequisites},
                         {"steps", steps},
                         {"verification",
                          {{"instruction", item.verification.instruction},
                           {"success_evidence", item.verification.successEvidence}}},
                         {"risk", *item.risk},
                         {"rollback", *item.rollback},
                         {"resume_context", *item.resumeContext}});
    }
    const nlohmann::json document{
        {"schema_version", receipt.schemaVersion},
        {"receipt_id", receipt.receiptId},
        {"version", receipt.version},
        {"created_at", "2026-07-27T08:30:00.000Z"},
        {"updated_at", "2026-07-27T08:45:00.000Z"},
        {"source",
         {{"agent", rawValue(receipt.source.agent)},
          {"task_title", receipt.source.taskTitle},
          {"task_id", *receipt.source.taskId}}},
        {"project", {{"name", receipt.project.name}, {"path", receipt.project.path}}},
        {"state", rawValue(receipt.state)},
        {"requires_user_action", receipt.requiresUserAction},
        {"summary", receipt.summary},
        {"items", items}};
    std::string text;
    for (const char c : document.dump(-1, ' ', false)) {
        if (c == '/') text += '\\';
        text += c;
    }
    return text;
}

// The number of items that makes the receipt text at least 1 MiB long.
int largeItemCount() {
    const std::size_t perItem =
        receiptText(makeReceipt(2)).size() - receiptText(makeReceipt(1)).size();
    return static_cast<int>((1u << 20) / perItem) + 1;
}

void reportMegabytes(benchmark::State& state, std::size_t bytes) {
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ValidateTypicalReceipt(benchmark::State& state) {
    const InterventionReceipt receipt = makeReceipt(3);
    const ReceiptValidator validator;
    for (auto _ : state) benchmark::DoNotOptimize(validator.validate(receipt));
}
BENCHMARK(BM_ValidateTypicalReceipt);

void BM_ScanTypicalReceiptText(benchmark::State& state) {
    const std::string text = receiptText(makeReceipt(3));
    const SecretScanner scanner;
    for (auto _ : state) benchmark::DoNotOptimize(scanner.scanReceiptText(text));
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ScanTypicalReceiptText);

void BM_CheckTypicalReceipt(benchmark::State& state) {
    const InterventionReceipt receipt = makeReceipt(3);
    const std::string text = receiptText(receipt);
    for (auto _ : state) {
        // As the importer does it: fresh policy objects, scan, then validate.
        benchmark::DoNotOptimize(SecretScanner().scanReceiptText(text));
        benchmark::DoNotOptimize(ReceiptValidator().validate(receipt));
    }
}
BENCHMARK(BM_CheckTypicalReceipt);

void BM_ScanLargeText(benchmark::State& state) {
    const std::string text = receiptText(makeReceipt(largeItemCount()));
    const SecretScanner scanner;
    for (auto _ : state) benchmark::DoNotOptimize(scanner.scan(text));
    reportMegabytes(state, text.size());
}
BENCHMARK(BM_ScanLargeText)->Unit(benchmark::kMillisecond);

void BM_ScanLargeReceiptText(benchmark::State& state) {
    const std::string text = receiptText(makeReceipt(largeItemCount()));
    const SecretScanner scanner;
    for (auto _ : state) benchmark::DoNotOptimize(scanner.scanReceiptText(text));
    reportMegabytes(state, text.size());
}
BENCHMARK(BM_ScanLargeReceiptText)->Unit(benchmark::kMillisecond);

void BM_ValidateLargeReceipt(benchmark::State& state) {
    const InterventionReceipt receipt = makeReceipt(largeItemCount());
    const ReceiptValidator validator;
    for (auto _ : state) benchmark::DoNotOptimize(validator.validate(receipt));
    state.counters["items"] = static_cast<double>(receipt.items.size());
}
BENCHMARK(BM_ValidateLargeReceipt)->Unit(benchmark::kMillisecond);

}  // namespace
