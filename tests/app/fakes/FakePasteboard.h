#pragma once

#include "app/model/Pasteboard.h"

namespace kestrin {

// An in-memory clipboard. `content` nothing means "holds no text".
class FakePasteboard final : public Pasteboard {
  public:
    std::optional<QString> readString() override { return content; }
    void writeString(const QString& text) override {
        ++clearCount;
        content = text;
    }

    std::optional<QString> content;
    int clearCount = 0;
};

}  // namespace kestrin
