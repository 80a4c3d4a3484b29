#include "core/support/RandomUUID.h"

#include <uuid/uuid.h>

namespace kestrin {

std::string randomUUIDText() {
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[37];
    uuid_unparse_upper(uuid, text);
    return text;
}

}  // namespace kestrin
