#include "app/model/PageReadAhead.h"

namespace kestrin {

void PageReadAhead::start(const TaskSelection& selection, std::int64_t from, std::size_t limit) {
    drop();
    selection_ = selection;
    from_ = from;
    page_ = std::async(std::launch::async,
                       [this, selection, from, limit]() -> Result<TaskPage, StoreError> {
                           if (!store_) {
                               auto opened = SQLiteTaskStore::openForReading(database_);
                               if (!opened) return fail(opened.error());
                               store_ = std::move(opened).value();
                           }
                           return store_->listTaskPage(selection, from, limit, {});
                       });
}

std::optional<TaskPage> PageReadAhead::take(const TaskSelection& selection, std::int64_t from) {
    if (!page_.valid()) return std::nullopt;
    auto page = page_.get();
    if (!page || selection != selection_ || from != from_) return std::nullopt;
    return std::move(page).value();
}

void PageReadAhead::drop() {
    // What it read, or why it failed, no longer matters.
    if (page_.valid()) (void)page_.get();
}

}  // namespace kestrin
