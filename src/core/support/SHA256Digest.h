#pragma once

#include <string>
#include <string_view>

namespace kestrin {

// SHA-256 through OpenSSL's libcrypto.
class SHA256Digest {
public:
    // Lower-case hexadecimal digest of `data`: 64 characters, two per byte.
    static std::string hex(std::string_view data);
};

}  // namespace kestrin
