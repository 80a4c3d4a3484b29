#include "mcp/InterventionResultTool.h"

#include <algorithm>
#include <thread>

#include "core/intake/AgentResultTool.h"
#include "core/receipt/ReceiptJSON.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"

namespace kestrin {

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

bool isHandedBack(TaskStatus status) {
    return status == TaskStatus::readyToResume || status == TaskStatus::completed ||
           status == TaskStatus::cancelled;
}

// The item's steps in their working order (by `order`, stable).
std::vector<ActionStep> stepsInOrder(const InterventionItem& item) {
    std::vector<ActionStep> steps = item.steps;
    std::stable_sort(steps.begin(), steps.end(),
                     [](const ActionStep& a, const ActionStep& b) { return a.order < b.order; });
    return steps;
}

}  // namespace

json InterventionResultTool::definition() {
    return {
        {"name", AgentResultTool::name},
        {"title", "Get intervention result"},
        {"description",
         "Read back what the human did with an intervention receipt you submitted: each task's "
         "status and completed steps, and, once the human has handed a task back, the exact "
         "resume message with their notes. Call it when the user says the work is done, or with "
         "wait_seconds when you can afford to wait; if all_handed_back is false, ask again later. "
         "Continue from the resume message and never treat steps that were not done as done."},
        {"inputSchema",
         {{"type", "object"},
          {"properties",
           {{"receipt_id",
             {{"type", "string"}, {"description", "The receipt_id of the submitted receipt."}}},
            {"wait_seconds",
             {{"type", "integer"},
              {"minimum", 0},
              {"maximum", maximumWaitSeconds},
              {"default", 0},
              {"description",
               "Wait up to this many seconds for a task to be handed back; 0 answers at "
               "once."}}}}},
          {"required", json::array({"receipt_id"})},
          {"additionalProperties", false}}}};
}

Result<json, InterventionResultTool::Failure> InterventionResultTool::call(const json& arguments) {
    const auto id = arguments.find("receipt_id");
    if (id == arguments.end()) {
        return fail(Failure{MCPInputError{MCPInputError::Kind::missingReceiptID}});
    }
    if (!id->is_string() || id->get_ref<const std::string&>().empty()) {
        return fail(Failure{MCPInputError{MCPInputError::Kind::invalidReceiptID}});
    }
    std::int64_t waitSeconds = 0;
    if (const auto wait = arguments.find("wait_seconds"); wait != arguments.end()) {
        // Non-negative integers parse as unsigned; anything else is refused.
        if (!wait->is_number_unsigned() ||
            wait->get<std::uint64_t>() > static_cast<std::uint64_t>(maximumWaitSeconds)) {
            return fail(Failure{MCPInputError{MCPInputError::Kind::invalidWaitSeconds}});
        }
        waitSeconds = wait->get<std::int64_t>();
    }
    const std::string& receiptID = id->get_ref<const std::string&>();

    auto first = read(receiptID);
    if (!first) return fail(first.error());
    if (waitSeconds == 0) return std::move(first->payload);

    const auto deadline = Clock::now() + std::chrono::seconds(waitSeconds);
    auto latest = std::move(*first);
    const std::set<std::string> handedBackAtStart = latest.handedBack;
    auto token = store_.changeToken();
    while (Clock::now() < deadline) {
        std::this_thread::sleep_for(
            std::min<Clock::duration>(pollInterval, deadline - Clock::now()));
        auto now = store_.changeToken();
        // A busy or failing database is waited out: the answer comes at the deadline.
        if (!now || (token && *now == *token)) continue;
        token = now;
        auto current = read(receiptID);
        if (!current) continue;
        latest = std::move(*current);
        const bool newlyHandedBack =
            std::any_of(latest.handedBack.begin(), latest.handedBack.end(),
                        [&](const std::string& key) { return !handedBackAtStart.contains(key); });
        if (newlyHandedBack) break;
    }
    return latest.payload;
}

Result<InterventionResultTool::Snapshot, InterventionResultTool::Failure>
InterventionResultTool::read(const std::string& receiptID) {
    auto stored = store_.storedReceipt(receiptID);
    if (!stored) return fail(Failure{stored.error()});
    if (!*stored) {
        return fail(Failure{MCPInputError{MCPInputError::Kind::unknownReceipt, receiptID}});
    }
    // The items' order is the receipt's own; the task rows do not keep it.
    auto receipt = ReceiptJSON::makeDecoder().decodeReceipt((*stored)->rawJson);
    if (!receipt) {
        return fail(Failure{StoreError::decode("回执 " + receiptID + " 无法解析。")});
    }

    Snapshot snapshot;
    json tasks = json::array();
    for (const auto& item : receipt->items) {
        auto task = store_.task(receiptID + "::" + item.id);
        if (!task) {
            // Deleted by the user, or unreadable by this build: not reported.
            if (task.error().kind == StoreError::Kind::missingTask) continue;
            return fail(Failure{task.error()});
        }
        json completed = json::array();
        for (const auto& step : stepsInOrder(task->item)) {
            if (task->isStepComplete(step.id)) completed.push_back(step.id);
        }
        const bool handedBack = isHandedBack(task->status);
        json entry = {{"task_key", task->taskKey},
                      {"item_id", task->item.id},
                      {"title", task->item.title},
                      {"status", rawValue(task->status)},
                      {"steps_done", completed.size()},
                      {"steps_total", task->totalStepCount()},
                      {"completed_step_ids", std::move(completed)},
                      {"handed_back", handedBack}};
        if (handedBack) {
            auto message = resumeMessage(*task);
            if (!message) return fail(Failure{message.error()});
            // A message that looks like it holds a secret stays with the human.
            if (const auto secret = ResumeMessageGuard().check(*message)) {
                entry["resume_message_held_back"] = secret->heldBackDescription();
            } else {
                entry["resume_message"] = std::move(*message);
            }
            snapshot.handedBack.insert(task->taskKey);
        }
        tasks.push_back(std::move(entry));
    }
    const bool allHandedBack = snapshot.handedBack.size() == tasks.size();
    snapshot.payload = {{"receipt_id", receiptID},
                        {"version", (*stored)->version},
                        {"all_handed_back", allHandedBack},
                        {"tasks", std::move(tasks)}};
    return snapshot;
}

Result<std::string, StoreError> InterventionResultTool::resumeMessage(const TaskRecord& task) {
    auto note = store_.note(task.taskKey);
    if (!note) return fail(note.error());
    return ResumeMessageBuilder().build(task, *note);
}

}  // namespace kestrin
