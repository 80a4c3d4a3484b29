#include "cli/TaskSearch.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <cstdint>

#include "core/support/TextTrimming.h"

namespace kestrin {

TaskSearch::TaskSearch(std::string_view searchText) : query_(searchForm(trimmedText(searchText))) {}

bool TaskSearch::matches(const TaskSearchFields& task) const {
    if (query_.empty()) return true;
    std::string text(task.title);
    for (std::string_view value : {task.reason, task.projectName, task.sourceTaskTitle,
                                   displayName(task.agent), displayName(task.category)}) {
        text += ' ';
        text += value;
    }
    // Composed UTF-8 on both sides: a match can only start on a character.
    return searchForm(text).find(query_) != std::string::npos;
}

std::string TaskSearch::searchForm(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* composition = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = composition->normalize(unicode, status);
        if (U_SUCCESS(status)) unicode = std::move(composed);
    }
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

}  // namespace kestrin
