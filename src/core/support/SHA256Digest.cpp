#include "core/support/SHA256Digest.h"

#include <openssl/evp.h>

namespace kestrin {

std::string SHA256Digest::hex(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // EVP_Digest fails only when the library cannot allocate; the digest of
    // the same bytes is then unknowable, and an empty text never equals a
    // stored hash.
    if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(hexDigits[digest[i] >> 4]);
        text.push_back(hexDigits[digest[i] & 0x0f]);
    }
    return text;
}

}  // namespace kestrin
