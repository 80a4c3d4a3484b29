#pragma once

#include <QString>
#include <optional>

namespace kestrin {

// The system clipboard, as plain text.
class Pasteboard {
  public:
    virtual ~Pasteboard() = default;

    // The plain-text content, or nothing when the clipboard holds no text.
    // An empty text is a text.
    virtual std::optional<QString> readString() = 0;
    // Clears the clipboard, then writes `text` as its only plain-text content.
    virtual void writeString(const QString& text) = 0;
};

}  // namespace kestrin
