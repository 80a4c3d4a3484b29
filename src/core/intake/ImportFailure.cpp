#include "core/intake/ImportFailure.h"

namespace kestrin {

std::string ImportFailure::description() const {
    return std::visit([](const auto& held) { return held.description(); }, error);
}

}  // namespace kestrin
