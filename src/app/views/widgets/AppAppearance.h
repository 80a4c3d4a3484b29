#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <optional>

#include "core/intake/TaskDataEnvironment.h"
#include "core/receipt/TaskPriority.h"
#include "core/store/TaskStatus.h"

class QAbstractItemView;
class QApplication;
class QPushButton;

namespace kestrin {

// The window's look: the light and dark palettes the program can force, the
// orange accent, and the colours that carry meaning (status, priority, data
// environment). Colours adapt to the palette in force, so they read on a
// light and on a dark window alike.
class AppAppearance {
  public:
    enum class ColorScheme { light, dark };

    // The colours with a meaning. `secondary` is the grey of secondary text,
    // `separator` the hairline of cards and dividers.
    enum class Tint { orange, blue, purple, green, red, secondary, separator };

    // How a button stands out: `bordered` is the platform's plain push button,
    // `prominent` is filled with a tint.
    enum class ButtonStyle { bordered, prominent };

    // Text styles, relative to the application font: `caption` is small,
    // `headline` semibold, `title3` to `title` larger, `largeTitle` the 30 px
    // bold heading of the detail pane, `monospaced` the fixed-pitch font of
    // commands and paths.
    enum class TextStyle {
        caption,
        captionEmphasized,
        body,
        headline,
        title3,
        title,
        largeTitle,
        monospaced,
        monospacedCaption
    };

    AppAppearance() = delete;

    // The scheme KESTRIN_FORCE_APPEARANCE asks for: its value lower-cased (not
    // trimmed) is "light" or "dark"; anything else, an empty value or no
    // variable leaves the system's appearance (nothing).
    static std::optional<ColorScheme> forcedColorScheme(const std::optional<QString>& value);

    // The variable read from the process environment.
    static std::optional<ColorScheme> forcedColorSchemeFromEnvironment();

    // Our own palette for a forced scheme, with the orange accent.
    static QPalette palette(ColorScheme scheme);

    // Applies a forced scheme (the Fusion style and our palette), or keeps the
    // system's style and palette and only makes the accent orange.
    static void apply(QApplication& application, std::optional<ColorScheme> forced);

    // Whether `palette` is a dark one (its text is light).
    static bool isDark(const QPalette& palette);

    // A meaning colour for the application's palette in force.
    static QColor color(Tint tint);
    static QColor color(Tint tint, const QPalette& palette);

    // The accent: orange.
    static QColor accent() { return color(Tint::orange); }

    // Task status colours: pending orange, in progress blue, snoozed purple,
    // waiting external grey, ready to resume green, completed grey, cancelled red.
    static Tint statusTint(TaskStatus status);
    // Priority colours: critical red, high orange, medium blue, low grey.
    static Tint priorityTint(TaskPriority priority);
    // Data environment colours: standard orange, temporary green, custom blue.
    static Tint environmentTint(TaskDataEnvironment environment);

    static QFont font(TextStyle style);

    // The height of one line of `font` with Chinese text in it: the
    // fallback font that draws Chinese may be taller than `font` itself.
    static int lineHeight(const QFont& font);

    // The background of cards (a shade off the window) and of the sidebar.
    static QColor cardColor(const QPalette& palette);
    static QColor sidebarColor(const QPalette& palette);

    // A list that sits on its column's background: no frame, no fill of its
    // own, scrolling by pixels.
    static void styleList(QAbstractItemView* list);

    // Gives `button` a filled look in `tint` (white text), or the plain look.
    static void styleButton(QPushButton* button, ButtonStyle style, Tint tint = Tint::orange);
};

}  // namespace kestrin
