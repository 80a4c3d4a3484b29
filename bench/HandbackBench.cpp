// The hand-back paths run on every list refresh (project names) and on every
// copy of a resume message; these keep an eye on their cost at sizes well
// beyond a real to-do list.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/SourceLinkResolver.h"
#include "core/handback/TaskListPolicy.h"

using namespace kestrin;

namespace {

TaskRecord taskWithSteps(int stepCount) {
    TaskRecord record;
    record.taskKey = "receipt::item";
    record.receiptID = "receipt";
    record.receiptVersion = 2;
    record.project.name = "velmora";
    record.source.taskTitle = "发布 0.3.3";
    record.item.title = "授予终端完全磁盘访问权限";
    record.item.verification = {.instruction = "运行检查", .successEvidence = "没有报错"};
    record.item.resumeContext = "继续执行部署";
    for (int i = stepCount; i > 0; --i) {
        ActionStep step;
        step.id = std::string("step-").append(std::to_string(i));
        step.order = i;
        step.title = std::string("打开系统设置并勾选第 ").append(std::to_string(i)).append(" 项");
        record.item.steps.push_back(step);
        if (i % 2 == 0) record.completedStepIDs.insert(step.id);
    }
    return record;
}

void BM_BuildResumeMessage(benchmark::State& state) {
    const TaskRecord record = taskWithSteps(static_cast<int>(state.range(0)));
    const ResumeMessageBuilder builder;
    for (auto _ : state) benchmark::DoNotOptimize(builder.build(record, "  已重启服务  "));
}
BENCHMARK(BM_BuildResumeMessage)->Arg(5)->Arg(100);

void BM_ResolveLocator(benchmark::State& state) {
    const ReceiptSource source{
        .agent = AgentKind::codex,
        .taskTitle = "发布",
        .taskId = "thread-42",
        .locator = " CODEX://Threads/3F2A9C1E-7B4D-4E8A-9C0F-1A2B3C4D5E6F\n"};
    const SourceLinkResolver resolver;
    for (auto _ : state) benchmark::DoNotOptimize(resolver.resolve(source));
}
BENCHMARK(BM_ResolveLocator);

void BM_ResolveLongUntrustedLocator(benchmark::State& state) {
    const ReceiptSource source{.agent = AgentKind::codex,
                               .taskTitle = "发布",
                               .taskId = std::nullopt,
                               .locator = "codex://threads/" + std::string(10'000, 'a')};
    const SourceLinkResolver resolver;
    for (auto _ : state) benchmark::DoNotOptimize(resolver.resolve(source));
}
BENCHMARK(BM_ResolveLongUntrustedLocator);

void BM_ProjectNames(benchmark::State& state) {
    std::vector<TaskRecord> tasks(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        tasks[i].taskKey = std::string("r").append(std::to_string(i)).append("::item");
        tasks[i].project.name = std::string("项目 Café ").append(std::to_string(i % 50));
        tasks[i].status = i % 5 == 0 ? TaskStatus::completed : TaskStatus::pending;
    }
    for (auto _ : state) benchmark::DoNotOptimize(TaskListPolicy::projectNames(tasks));
}
BENCHMARK(BM_ProjectNames)->Arg(100)->Arg(5000);

}  // namespace
