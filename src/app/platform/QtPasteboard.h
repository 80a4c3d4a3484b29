#pragma once

#include "app/model/Pasteboard.h"

namespace kestrin {

// The application clipboard (QGuiApplication::clipboard()).
class QtPasteboard final : public Pasteboard {
  public:
    std::optional<QString> readString() override;
    void writeString(const QString& text) override;
};

}  // namespace kestrin
