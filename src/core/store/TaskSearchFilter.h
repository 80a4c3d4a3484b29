#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/store/TaskSearchFields.h"

namespace kestrin {

// Whether a task belongs in a filtered listing. `matches` judges a row from
// its stored fields. `known`, when set, is asked first with the row's id: a
// filter that remembers what it read answers true or false, and the row's
// fields are then not read; nothing means they must be.
struct TaskSearchFilter {
    std::function<bool(const TaskSearchFields&)> matches;
    std::function<std::optional<bool>(std::int64_t rowID)> known;

    explicit operator bool() const { return bool(matches); }
};

}  // namespace kestrin
