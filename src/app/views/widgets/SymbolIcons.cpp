#include "app/views/widgets/SymbolIcons.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <array>

namespace kestrin {
namespace {

struct SymbolFile {
    std::string_view symbol;
    const char* file;  // in :/symbols
};

// Symbol names -> bundled drawings (Tabler Icons, MIT; octagon-x is derived
// from its octagon). Filled symbols map to filled drawings where one exists.
constexpr std::array<SymbolFile, 51> symbolFiles{{
    // Task statuses
    {"tray.full", "inbox"},
    {"play.circle", "circle-caret-right"},
    {"moon.zzz", "zzz"},
    {"hourglass", "hourglass"},
    {"arrowshape.turn.up.right.circle", "arrow-forward-up"},
    {"checkmark.circle", "circle-check"},
    {"xmark.circle", "circle-x"},
    // Item categories
    {"terminal", "terminal-2"},
    {"macwindow", "app-window"},
    {"lock.shield", "shield-lock"},
    {"checkmark.seal", "rosette-discount-check"},
    {"wrench.and.screwdriver", "tools"},
    {"clock.arrow.circlepath", "history"},
    // Window action menu
    {"ellipsis.circle", "dots-circle-horizontal"},
    {"doc.badge.plus", "file-plus"},
    {"doc.on.clipboard", "clipboard-text"},
    {"arrow.clockwise", "refresh"},
    {"folder", "folder"},
    {"externaldrive", "database"},
    {"square.and.arrow.up", "file-export"},
    {"square.and.arrow.down", "file-import"},
    {"externaldrive.badge.plus", "database-plus"},
    {"externaldrive.badge.timemachine", "restore"},
    // Sidebar and data environment
    {"scope", "focus-2"},
    {"dot.radiowaves.left.and.right", "broadcast"},
    {"externaldrive.fill.badge.checkmark", "database-check"},
    {"testtube.2", "test-pipe-2"},
    {"externaldrive.badge.questionmark", "database-question"},
    // Lists, history and empty panels
    {"checklist", "list-check"},
    {"trash", "trash"},
    {"cpu", "cpu"},
    {"person.crop.circle.badge.exclamationmark", "user-exclamation"},
    {"rectangle.split.3x1", "layout-columns"},
    // Task detail
    {"flag.fill", "flag-filled"},
    {"timer", "stopwatch"},
    {"list.bullet.clipboard", "clipboard-list"},
    {"checkmark.circle.fill", "circle-check-filled"},
    {"exclamationmark.triangle.fill", "alert-triangle-filled"},
    {"arrow.uturn.backward.circle.fill", "circle-arrow-left-filled"},
    {"circle", "circle"},
    {"lock.shield.fill", "shield-lock-filled"},
    {"xmark.octagon.fill", "octagon-x"},
    {"doc.on.doc", "copy"},
    {"checkmark", "check"},
    {"hand.raised", "hand-stop"},
    {"exclamationmark.arrow.triangle.2.circlepath", "refresh-alert"},
    {"arrow.up.forward.app", "external-link"},
    {"xmark.circle.fill", "circle-x-filled"},
    {"clock", "clock"},
    // Search field, and the fallback for a name without a drawing
    {"magnifyingglass", "search"},
    {"questionmark", "help"},
}};

const char* fileFor(std::string_view symbol) {
    for (const SymbolFile& entry : symbolFiles) {
        if (entry.symbol == symbol) return entry.file;
    }
    return nullptr;
}

// Draws a bundled drawing in one colour. The drawings paint with
// "currentColor", which is replaced before parsing; a renderer per colour is
// kept because parsing costs more than drawing.
class TintedSymbolEngine final : public QIconEngine {
  public:
    TintedSymbolEngine(QString file, std::optional<QColor> color)
        : file_(std::move(file)), color_(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State /*state*/) override {
        const QColor color = colorFor(mode);
        QSvgRenderer renderer(svgIn(color));
        painter->save();
        painter->setOpacity(painter->opacity() * color.alphaF());
        renderer.render(painter, QRectF(rect));
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        const QColor color = colorFor(mode);
        const QSize pixels = size * scale;
        const QString key = QStringLiteral("velmora-symbol:%1:%2:%3x%4")
                                .arg(file_)
                                .arg(color.rgba(), 8, 16)
                                .arg(pixels.width())
                                .arg(pixels.height());
        QPixmap pixmap;
        if (!QPixmapCache::find(key, &pixmap)) {
            pixmap = QPixmap(pixels);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            paint(&painter, QRect(QPoint(0, 0), pixels), mode, state);
            painter.end();
            QPixmapCache::insert(key, pixmap);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = qMin(size.width(), size.height());
        return {side, side};
    }

    QIconEngine* clone() const override { return new TintedSymbolEngine(file_, color_); }
    QString key() const override { return QStringLiteral("VelmoraTintedSymbol"); }
    bool isNull() override { return false; }

  private:
    QColor colorFor(QIcon::Mode mode) const {
        const QPalette& palette = QApplication::palette();
        if (mode == QIcon::Disabled) {
            if (!color_) return palette.color(QPalette::Disabled, QPalette::WindowText);
            QColor faded = *color_;
            faded.setAlphaF(faded.alphaF() * 0.4f);
            return faded;
        }
        if (mode == QIcon::Selected) return palette.color(QPalette::HighlightedText);
        return color_.value_or(palette.color(QPalette::WindowText));
    }

    QByteArray svgIn(const QColor& color) const {
        QByteArray svg = source();
        svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
        return svg;
    }

    const QByteArray& source() const {
        if (source_.isEmpty()) {
            QFile file(file_);
            if (file.open(QIODevice::ReadOnly)) source_ = file.readAll();
        }
        return source_;
    }

    QString file_;
    std::optional<QColor> color_;
    mutable QByteArray source_;
};

QString resourcePath(const char* file) {
    return QStringLiteral(":/symbols/") + QLatin1String(file) + QStringLiteral(".svg");
}

}  // namespace

QIcon SymbolIcons::icon(std::string_view symbolName, std::optional<QColor> color) {
    const char* file = fileFor(symbolName);
    if (file == nullptr) file = fileFor("questionmark");
    return QIcon(new TintedSymbolEngine(resourcePath(file), color));
}

bool SymbolIcons::hasSymbol(std::string_view symbolName) {
    return fileFor(symbolName) != nullptr;
}

std::vector<std::string_view> SymbolIcons::symbolNames() {
    std::vector<std::string_view> names;
    names.reserve(symbolFiles.size());
    for (const SymbolFile& entry : symbolFiles) names.push_back(entry.symbol);
    return names;
}

QIcon SymbolIcons::applicationIcon() {
    // Drawn by the same engine: the drawing has no "currentColor" to replace.
    return QIcon(new TintedSymbolEngine(QStringLiteral(":/velmora.svg"), std::nullopt));
}

}  // namespace kestrin
