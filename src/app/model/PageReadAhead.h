#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>

#include "core/store/SQLiteTaskStore.h"
#include "core/store/StoreError.h"
#include "core/store/TaskPage.h"
#include "core/store/TaskSelection.h"
#include "core/support/Result.h"

namespace kestrin {

// Reads the next page of a view with closed tasks on a worker thread, through
// a reading connection of its own (opened by the first read), while the
// window shows the pages it has: the page-down that reaches the last row read
// then takes a page that is ready instead of reading it. Only unfiltered pages
// are read ahead. Used from one thread; the worker touches nothing but its
// connection.
class PageReadAhead {
public:
    explicit PageReadAhead(std::filesystem::path database) : database_(std::move(database)) {}
    // Waits for a read under way.
    ~PageReadAhead() { drop(); }
    PageReadAhead(const PageReadAhead&) = delete;
    PageReadAhead& operator=(const PageReadAhead&) = delete;

    // Starts reading up to `limit` tasks of `selection` from position `from`,
    // after dropping any earlier read.
    void start(const TaskSelection& selection, std::int64_t from, std::size_t limit);
    // The page read from `from` of `selection`, waiting for the read to end;
    // nothing when no such read was started or it failed (the caller then
    // reads the page itself, and reports what fails). Either way the read is
    // used up.
    std::optional<TaskPage> take(const TaskSelection& selection, std::int64_t from);
    // Forgets the read, waiting for it to end: what it read may be older than
    // a change the caller has seen.
    void drop();

private:
    const std::filesystem::path database_;
    // Touched only by the read under way, or with none under way.
    std::unique_ptr<SQLiteTaskStore> store_;
    TaskSelection selection_;
    std::int64_t from_ = 0;
    std::future<Result<TaskPage, StoreError>> page_;
};

}  // namespace kestrin
