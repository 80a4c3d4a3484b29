#include "app/views/widgets/AppAppearance.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontDatabase>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTextLayout>
#include <QtMath>
#include <array>

namespace kestrin {
namespace {

struct TintPair {
    QRgb light;
    QRgb dark;
};

// Close to the platform's system colours; the light variants are a shade
// darker so that white text on a filled button and small coloured text on a
// white card stay legible.
constexpr std::array<TintPair, 7> tints{{
    {0xF08300, 0xFF9F0A},  // orange
    {0x0A6CDB, 0x0A84FF},  // blue
    {0x9B4DCA, 0xBF5AF2},  // purple
    {0x2A9D45, 0x30D158},  // green
    {0xE0352B, 0xFF453A},  // red
    {0x86868B, 0x98989D},  // secondary
    {0xD9D9DE, 0x3A3A3C},  // separator
}};

void setBoth(QPalette& palette, QPalette::ColorRole role, const QColor& active,
             const QColor& disabled) {
    palette.setColor(QPalette::Active, role, active);
    palette.setColor(QPalette::Inactive, role, active);
    palette.setColor(QPalette::Disabled, role, disabled);
}

void setAccent(QPalette& palette, const QColor& accent) {
    setBoth(palette, QPalette::Highlight, accent, accent.lighter(130));
    setBoth(palette, QPalette::HighlightedText, Qt::white, QColor(0xEE, 0xEE, 0xEE));
}

}  // namespace

std::optional<AppAppearance::ColorScheme> AppAppearance::forcedColorScheme(
    const std::optional<QString>& value) {
    if (!value) return std::nullopt;
    const QString lowered = value->toLower();
    if (lowered == QStringLiteral("light")) return ColorScheme::light;
    if (lowered == QStringLiteral("dark")) return ColorScheme::dark;
    return std::nullopt;
}

std::optional<AppAppearance::ColorScheme> AppAppearance::forcedColorSchemeFromEnvironment() {
    if (!qEnvironmentVariableIsSet("KESTRIN_FORCE_APPEARANCE")) return std::nullopt;
    return forcedColorScheme(qEnvironmentVariable("KESTRIN_FORCE_APPEARANCE"));
}

QPalette AppAppearance::palette(ColorScheme scheme) {
    const bool dark = scheme == ColorScheme::dark;
    QPalette p;
    const QColor window = dark ? QColor(0x1F, 0x1F, 0x21) : QColor(0xF3, 0xF3, 0xF5);
    const QColor text = dark ? QColor(0xEC, 0xEC, 0xEE) : QColor(0x1D, 0x1D, 0x1F);
    const QColor disabledText = dark ? QColor(0x6C, 0x6C, 0x70) : QColor(0xA1, 0xA1, 0xA6);
    const QColor base = dark ? QColor(0x26, 0x26, 0x28) : QColor(0xFF, 0xFF, 0xFF);
    const QColor button = dark ? QColor(0x3A, 0x3A, 0x3C) : QColor(0xFF, 0xFF, 0xFF);

    setBoth(p, QPalette::Window, window, window);
    setBoth(p, QPalette::WindowText, text, disabledText);
    setBoth(p, QPalette::Base, base, window);
    setBoth(p, QPalette::AlternateBase, dark ? QColor(0x2C, 0x2C, 0x2E) : QColor(0xF5, 0xF5, 0xF7),
            window);
    setBoth(p, QPalette::ToolTipBase, base, base);
    setBoth(p, QPalette::ToolTipText, text, disabledText);
    setBoth(p, QPalette::PlaceholderText,
            dark ? QColor(0x7C, 0x7C, 0x80) : QColor(0x8E, 0x8E, 0x93), disabledText);
    setBoth(p, QPalette::Text, text, disabledText);
    setBoth(p, QPalette::Button, button, window);
    setBoth(p, QPalette::ButtonText, text, disabledText);
    setBoth(p, QPalette::BrightText, Qt::white, Qt::white);
    setBoth(p, QPalette::Light, dark ? QColor(0x4A, 0x4A, 0x4C) : QColor(0xFF, 0xFF, 0xFF), window);
    setBoth(p, QPalette::Midlight, dark ? QColor(0x3A, 0x3A, 0x3C) : QColor(0xEC, 0xEC, 0xEE),
            window);
    setBoth(p, QPalette::Mid, dark ? QColor(0x2C, 0x2C, 0x2E) : QColor(0xC7, 0xC7, 0xCC), window);
    setBoth(p, QPalette::Dark, dark ? QColor(0x16, 0x16, 0x18) : QColor(0xA1, 0xA1, 0xA6), window);
    setBoth(p, QPalette::Shadow, dark ? QColor(0, 0, 0) : QColor(0x6E, 0x6E, 0x73), window);
    const QRgb blue = tints[1].light;
    const QRgb purple = tints[2].light;
    setBoth(p, QPalette::Link, dark ? QColor(tints[1].dark) : QColor(blue), disabledText);
    setBoth(p, QPalette::LinkVisited, dark ? QColor(tints[2].dark) : QColor(purple), disabledText);
    setAccent(p, color(Tint::orange, p));
    return p;
}

void AppAppearance::apply(QApplication& application, std::optional<ColorScheme> forced) {
    if (forced) {
        // The platform style may ignore a palette (macOS draws its own
        // controls), so a forced scheme comes with Fusion, which honours it.
        application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(palette(*forced));
        return;
    }
    QPalette system = QApplication::palette();
    setAccent(system, color(Tint::orange, system));
    QApplication::setPalette(system);
}

bool AppAppearance::isDark(const QPalette& palette) {
    // Light text means a dark scheme. The window colour would not do: a view
    // with a transparent background reports a transparent black one.
    return palette.color(QPalette::WindowText).lightness() >= 128;
}

QColor AppAppearance::color(Tint tint) {
    return color(tint, QApplication::palette());
}

QColor AppAppearance::color(Tint tint, const QPalette& palette) {
    const TintPair& pair = tints[static_cast<std::size_t>(tint)];
    return QColor(isDark(palette) ? pair.dark : pair.light);
}

AppAppearance::Tint AppAppearance::statusTint(TaskStatus status) {
    switch (status) {
        case TaskStatus::pending:
            return Tint::orange;
        case TaskStatus::inProgress:
            return Tint::blue;
        case TaskStatus::snoozed:
            return Tint::purple;
        case TaskStatus::waitingExternal:
            return Tint::secondary;
        case TaskStatus::readyToResume:
            return Tint::green;
        case TaskStatus::completed:
            return Tint::secondary;
        case TaskStatus::cancelled:
            return Tint::red;
    }
    return Tint::secondary;
}

AppAppearance::Tint AppAppearance::priorityTint(TaskPriority priority) {
    switch (priority) {
        case TaskPriority::critical:
            return Tint::red;
        case TaskPriority::high:
            return Tint::orange;
        case TaskPriority::medium:
            return Tint::blue;
        case TaskPriority::low:
            return Tint::secondary;
    }
    return Tint::secondary;
}

AppAppearance::Tint AppAppearance::environmentTint(TaskDataEnvironment environment) {
    switch (environment) {
        case TaskDataEnvironment::standard:
            return Tint::orange;
        case TaskDataEnvironment::temporary:
            return Tint::green;
        case TaskDataEnvironment::custom:
            return Tint::blue;
    }
    return Tint::blue;
}

QFont AppAppearance::font(TextStyle style) {
    QFont font = QApplication::font();
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    switch (style) {
        case TextStyle::caption:
            font.setPointSizeF(base * 0.88);
            break;
        case TextStyle::captionEmphasized:
            font.setPointSizeF(base * 0.88);
            font.setWeight(QFont::DemiBold);
            break;
        case TextStyle::body:
            break;
        case TextStyle::headline:
            font.setWeight(QFont::DemiBold);
            break;
        case TextStyle::title3:
            font.setPointSizeF(base * 1.2);
            font.setWeight(QFont::DemiBold);
            break;
        case TextStyle::title:
            font.setPointSizeF(base * 1.4);
            break;
        case TextStyle::largeTitle:
            font.setPixelSize(30);
            font.setWeight(QFont::Bold);
            break;
        case TextStyle::monospaced:
        case TextStyle::monospacedCaption:
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            font.setPointSizeF(base * (style == TextStyle::monospaced ? 0.95 : 0.85));
            break;
    }
    return font;
}

int AppAppearance::lineHeight(const QFont& font) {
    QTextLayout layout(QStringLiteral("国Ag"), font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return qMax(QFontMetrics(font).lineSpacing(), qCeil(line.height()));
}

QColor AppAppearance::cardColor(const QPalette& palette) {
    return isDark(palette) ? palette.color(QPalette::Window).lighter(135)
                           : palette.color(QPalette::Base);
}

QColor AppAppearance::sidebarColor(const QPalette& palette) {
    return isDark(palette) ? palette.color(QPalette::Window).darker(125)
                           : palette.color(QPalette::Window).darker(104);
}

void AppAppearance::styleList(QAbstractItemView* list) {
    list->setFrameShape(QFrame::NoFrame);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setMouseTracking(true);
    list->viewport()->setAutoFillBackground(false);
    list->setStyleSheet(QStringLiteral("%1 { background: transparent; }")
                            .arg(QString::fromLatin1(list->metaObject()->className())));
}

void AppAppearance::styleButton(QPushButton* button, ButtonStyle style, Tint tint) {
    const QPalette& palette = QApplication::palette();
    if (style == ButtonStyle::bordered) {
        button->setStyleSheet(
            QStringLiteral("QPushButton { background-color: %1; color: %2; border: 1px solid %3;"
                           " border-radius: 6px; padding: 5px 14px; }"
                           "QPushButton:hover { background-color: %4; }"
                           "QPushButton:pressed { background-color: %5; }"
                           "QPushButton:focus { border-color: %6; }"
                           "QPushButton:disabled { color: %7; }")
                .arg(palette.color(QPalette::Button).name(),
                     palette.color(QPalette::ButtonText).name(),
                     color(Tint::separator, palette).darker(110).name(),
                     palette.color(QPalette::Button).lighter(isDark(palette) ? 120 : 97).name(),
                     palette.color(QPalette::Midlight).name(), color(Tint::orange, palette).name(),
                     palette.color(QPalette::Disabled, QPalette::ButtonText).name()));
        return;
    }
    const QColor fill = color(tint);
    button->setStyleSheet(
        QStringLiteral(
            "QPushButton { background-color: %1; color: white; border: 1px solid %2;"
            " border-radius: 6px; padding: 5px 14px; font-weight: 600; }"
            "QPushButton:hover { background-color: %3; }"
            "QPushButton:pressed { background-color: %2; }"
            "QPushButton:focus { border-color: %4; }"
            "QPushButton:disabled { background-color: %5; color: %6; border-color: %5; }")
            .arg(fill.name(), fill.darker(115).name(), fill.lighter(108).name(),
                 palette.color(QPalette::Text).name(), palette.color(QPalette::Midlight).name(),
                 palette.color(QPalette::Disabled, QPalette::ButtonText).name()));
}

}  // namespace kestrin
