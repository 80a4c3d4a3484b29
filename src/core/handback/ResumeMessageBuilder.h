#pragma once

#include <string>
#include <string_view>

#include "core/store/TaskRecord.h"

namespace kestrin {

// Builds the Chinese plain-text message the user pastes back into an agent's
// task once an intervention item has been worked. Stateless and pure.
class ResumeMessageBuilder {
  public:
    // The message for `record` and the user's `notes`: project, agent task,
    // receipt and item; the item's steps by ascending order (ties keep their
    // list order), split into done and not done by the record's completed
    // step identifiers ("- 无" for an empty group); the verification
    // instruction and success evidence; then, each after an empty line and
    // only when not blank, the agent's resume context exactly as stored and
    // the notes trimmed; then the closing line. Lines are joined by single
    // line feeds and the message never ends with one. Texts taken from the
    // record are inserted as they are, line breaks included.
    std::string build(const TaskRecord& record, std::string_view notes) const;
};

}  // namespace kestrin
