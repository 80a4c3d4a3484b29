#include <sqlite3.h>

#include "core/store/SQLiteTaskStore.h"

namespace kestrin {

Result<SQLiteTaskStore::ChangeToken, StoreError> SQLiteTaskStore::changeToken() {
    std::lock_guard guard(lock_);
    if (!database_) return fail(StoreError::sqlite("数据库连接不存在。"));
    auto dataVersion = database_.pragmaInteger("data_version");
    if (!dataVersion) return fail(dataVersion.error());
    auto schemaCookie = database_.pragmaInteger("schema_version");
    if (!schemaCookie) return fail(schemaCookie.error());
    return ChangeToken{*dataVersion, sqlite3_total_changes64(database_.handle()), *schemaCookie};
}

}  // namespace kestrin
