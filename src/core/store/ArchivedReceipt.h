#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

// One stored receipt as the archive carries it: the raw text exactly as it
// was received, with the hash that proves it unchanged.
struct ArchivedReceipt {
    std::string receiptId;     // "receipt_id"
    std::int64_t version = 0;  // "version"
    std::string rawHash;       // "raw_hash": lower-case hex SHA-256 of rawJson's bytes
    std::string rawJson;       // "raw_json"

    std::string& receiptID() { return receiptId; }
    const std::string& receiptID() const { return receiptId; }
    std::string& rawJSON() { return rawJson; }
    const std::string& rawJSON() const { return rawJson; }

    bool operator==(const ArchivedReceipt&) const = default;
};

}  // namespace kestrin
