#pragma once

#include <QColor>
#include <QIcon>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrin {

// Icons for the symbol names the views use ("folder", "checkmark.circle.fill",
// the status and category symbols ...). Every name maps to a vector icon
// bundled with the program (see NOTICE), so an icon looks the same on every
// platform and desktop theme and is never blank. Icons scale to any size and
// device pixel ratio.
class SymbolIcons {
  public:
    SymbolIcons() = delete;

    // The icon for `symbolName`, drawn in `color`; without a colour, in the
    // application palette's text colour (disabled and selected modes use the
    // palette's disabled and highlighted-text colours). An unknown name gives
    // the "questionmark" fallback icon, never an empty one.
    static QIcon icon(std::string_view symbolName, std::optional<QColor> color = std::nullopt);

    // Whether `symbolName` has an icon of its own.
    static bool hasSymbol(std::string_view symbolName);

    // Every symbol name with an icon.
    static std::vector<std::string_view> symbolNames();

    // The program's own icon (window and desktop entry).
    static QIcon applicationIcon();
};

}  // namespace kestrin
