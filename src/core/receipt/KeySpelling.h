#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// The two key spellings of the wire format: fields are named in camel case in
// memory ("expectedOutcome") and written in snake case on the wire
// ("expected_outcome").

// The wire key of a field name: an underscore before every upper-case ASCII
// letter, which is lowered ("requiresUserAction" -> "requires_user_action").
// Field names have no acronyms, so every capital starts a word.
std::string toSnakeCase(std::string_view fieldName);

// The field name a wire key converts to: every character that follows an inner
// underscore is upper-cased and the inner underscores are dropped; leading and
// trailing underscores stay ("expected_outcome" -> "expectedOutcome",
// "_a_b_" -> "_aB_"). Only ASCII letters change case, so a key with any other
// character after an underscore can never name a field.
std::string fromSnakeCase(std::string_view wireKey);

// Whether fromSnakeCase(wireKey) == fieldName, without building the text.
bool convertsToField(std::string_view wireKey, std::string_view fieldName);

// Whether toSnakeCase(fieldName) == wireKey, without building the text.
bool isWireKeyOf(std::string_view wireKey, std::string_view fieldName);

}  // namespace kestrin
