#pragma once

#include "core/receipt/ReceiptSource.h"
#include "core/handback/SourceLinkResolution.h"

namespace kestrin {

// Decides whether a receipt's source leads back to a Codex thread. The link is
// never taken as the agent wrote it: it is always rebuilt as
// "codex://threads/" + the thread UUID in its canonical 36-character form in
// lower case, so nothing else an agent wrote can reach the link. Stateless.
class SourceLinkResolver {
  public:
    // The thread link of `source`, or the reason why there is none:
    // - not a Codex source: the "only Codex" reason;
    // - the locator (trimmed) is exactly codex://threads/<UUID> (scheme and host
    //   in any case, nothing else at all): the link from that UUID;
    // - else a task identifier that is, trimmed, a canonical UUID: its link;
    // - else the "untrusted locator" reason when a non-blank locator was given,
    //   and the "no thread UUID" reason otherwise.
    // Any input, including invalid UTF-8 and control characters, is safe.
    SourceLinkResolution resolve(const ReceiptSource& source) const;
};

}  // namespace kestrin
