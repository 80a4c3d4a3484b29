#pragma once

#include "core/receipt/ReceiptDecoder.h"
#include "core/receipt/ReceiptEncoder.h"

namespace kestrin {

// The one place that makes the decoders and encoders every part of the system
// uses for receipts, stored items and archives, so all JSON follows one set of
// rules. Each call returns a fresh object.
class ReceiptJSON {
public:
    static ReceiptDecoder makeDecoder() { return ReceiptDecoder{}; }
    static ReceiptEncoder makeEncoder(bool pretty = false) { return ReceiptEncoder{pretty}; }
};

}  // namespace kestrin
