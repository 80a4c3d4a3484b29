#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "core/store/TaskRecord.h"
#include "core/store/TaskStatus.h"

namespace kestrin {

// The sidebar filter: a status, a project (by name), the attention set
// (pending, in progress, ready to resume), every task, or the receipt history
// (which shows no tasks). Compared and hashed by case and payload.
class SidebarSelection {
  public:
    struct Attention {
        bool operator==(const Attention&) const = default;
    };
    struct All {
        bool operator==(const All&) const = default;
    };
    struct History {
        bool operator==(const History&) const = default;
    };
    struct Project {
        std::string name;
        bool operator==(const Project&) const = default;
    };
    using Case = std::variant<TaskStatus, Project, Attention, All, History>;

    SidebarSelection() : case_(Attention{}) {}
    SidebarSelection(Case value) : case_(std::move(value)) {}

    static SidebarSelection status(TaskStatus status) { return {status}; }
    static SidebarSelection project(std::string name) { return {Project{std::move(name)}}; }
    static SidebarSelection attention() { return {Attention{}}; }
    static SidebarSelection all() { return {All{}}; }
    static SidebarSelection history() { return {History{}}; }

    const Case& value() const { return case_; }
    bool isHistory() const { return std::holds_alternative<History>(case_); }
    // The project name when this is a project filter, else nullptr.
    const std::string* projectName() const;

    // Whether the filter shows completed or cancelled tasks (its status, or
    // every task): such a view reads its rows from the store page by page.
    bool includesClosedTasks() const;

    // Whether the filter lets `task` through (search is applied separately).
    bool includes(const TaskRecord& task) const;

    std::size_t hash() const;
    bool operator==(const SidebarSelection&) const = default;

  private:
    Case case_;
};

// True for the three statuses of the attention set.
bool isAttentionStatus(TaskStatus status);

}  // namespace kestrin

template <>
struct std::hash<kestrin::SidebarSelection> {
    std::size_t operator()(const kestrin::SidebarSelection& s) const { return s.hash(); }
};
