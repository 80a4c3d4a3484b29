#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "core/checks/SecretFinding.h"

namespace kestrin {

// Looks for secrets (private keys, tokens, API keys, credential fields) in
// receipt text with a fixed, ordered list of six regular-expression rules.
//
// A scanner is cheap to create and copy: the rules are compiled once per
// process and shared read-only. All member functions are const and safe to
// call from several threads at once. Scanning never fails and never changes
// the text; any byte sequence, including invalid UTF-8 and NUL bytes, yields a
// (possibly empty) list.
class SecretScanner {
  public:
    SecretScanner();

    // Every match of every rule in `text`, sorted by line, then by rule name;
    // the sort is stable, so equal findings keep their order. Line numbers
    // count line feeds before the match start, so a CR LF pair ends one line
    // and a lone CR ends none. Each ill-formed UTF-8 sequence reads as one
    // U+FFFD: it splits a token, but counts as a character of a credential
    // value.
    std::vector<SecretFinding> scan(std::string_view text) const;

    // The one scan every place that checks receipt text must use (importer,
    // archive validation). Returns the findings of scan(rawText), plus those
    // of a scan of the same text with its JSON string escapes resolved ("\/",
    // "\uXXXX" with surrogate pairs, "\\", "\"" and the control escapes), so a
    // secret cannot hide behind escapes. Line numbers always name lines of
    // `rawText`: escaped line breaks ("\n", "\r", "\u000a", "\u000d") read as a
    // space, never as a new line. A finding of the resolved view is added only
    // when its rule has not already been reported on that line; the merged list
    // is in the order of scan().
    std::vector<SecretFinding> scanReceiptText(std::string_view rawText) const;

  private:
    struct CompiledRules;
    std::shared_ptr<const CompiledRules> rules_;
};

}  // namespace kestrin
