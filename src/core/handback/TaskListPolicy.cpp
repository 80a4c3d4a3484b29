#include "core/handback/TaskListPolicy.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace kestrin {

namespace {

bool isVisibleIn(const TaskRecord& task, std::string_view name) {
    return task.project.name == name && TaskListPolicy::isVisibleInProject(task);
}

// The NFC form of `text`, or `text` itself should ICU fail.
std::string canonicalComposition(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    std::string composed;
    icu::StringByteSink<std::string> sink(&composed);
    nfc->normalizeUTF8(0, text, sink, nullptr, status);
    return U_SUCCESS(status) ? composed : text;
}

}  // namespace

bool TaskListPolicy::isVisibleInProject(const TaskRecord& task) {
    return !isClosed(task.status);
}

bool TaskListPolicy::hasVisibleTasks(std::string_view name, std::span<const TaskRecord> tasks) {
    return std::ranges::any_of(tasks,
                               [name](const TaskRecord& task) { return isVisibleIn(task, name); });
}

std::vector<std::string> TaskListPolicy::projectNames(std::span<const TaskRecord> tasks) {
    std::vector<std::string> names;
    for (const auto& task : tasks) {
        if (isVisibleInProject(task)) names.push_back(task.project.name);
    }
    std::ranges::sort(names);
    names.erase(std::unique(names.begin(), names.end()), names.end());

    // Names stay distinct byte for byte, as projects are matched; two names
    // that compose to the same text are ordered by their bytes, so the order
    // never depends on the input order.
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names) {
        std::string key = canonicalComposition(name);
        keyed.emplace_back(std::move(key), std::move(name));
    }
    // UTF-8 compared byte by byte orders as its code points do.
    std::ranges::sort(keyed);

    std::vector<std::string> sorted;
    sorted.reserve(keyed.size());
    for (auto& entry : keyed) sorted.push_back(std::move(entry.second));
    return sorted;
}

std::vector<TaskRecord> TaskListPolicy::tasks(std::string_view name,
                                              std::span<const TaskRecord> tasks) {
    std::vector<TaskRecord> matching;
    std::ranges::copy_if(tasks, std::back_inserter(matching),
                         [name](const TaskRecord& task) { return isVisibleIn(task, name); });
    return matching;
}

std::optional<std::string> TaskListPolicy::reconciledSelectedTaskKey(
    const std::optional<std::string>& selected, std::span<const TaskRecord> visibleTasks) {
    if (selected && std::ranges::any_of(visibleTasks, [&](const TaskRecord& task) {
            return task.taskKey == *selected;
        })) {
        return selected;
    }
    if (!visibleTasks.empty()) return visibleTasks.front().taskKey;
    return std::nullopt;
}

}  // namespace kestrin
