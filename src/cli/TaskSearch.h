#pragma once

#include <string>
#include <string_view>

#include "core/store/TaskSearchFields.h"

namespace kestrin {

// The desktop app's search rule: the query, trimmed of white space and line
// breaks and lower-cased, must occur in the task's search text, which is six
// values joined by single spaces and lower-cased: the item's title and reason,
// the project name, the agent task title, the agent's display name and the
// category's display name. Steps, commands, paths and the summary are never
// searched. Both sides are compared in composed form (NFC), so an accented
// letter typed one way finds the same letter stored the other way.
class TaskSearch {
public:
    explicit TaskSearch(std::string_view searchText);

    // True when the query is empty after trimming: every task matches.
    bool isEmpty() const { return query_.empty(); }

    bool matches(const TaskSearchFields& task) const;

    // `text` lower-cased (full Unicode case mapping, no locale) and composed.
    static std::string searchForm(std::string_view text);

private:
    std::string query_;
};

}  // namespace kestrin
