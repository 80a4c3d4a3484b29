#include "app/SectionHeader.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/AppAppearance.h"

namespace kestrin {
namespace {

QLabel* line(const QString& text, AppAppearance::TextStyle style, AppAppearance::Tint tint,
             QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(AppAppearance::font(style));
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, AppAppearance::color(tint));
    label->setPalette(palette);
    return label;
}

}  // namespace

SectionHeader::SectionHeader(const QString& eyebrow, const QString& title, const QString& detail,
                             QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(line(eyebrow, AppAppearance::TextStyle::captionEmphasized,
                           AppAppearance::Tint::orange, this));
    auto* heading = new QLabel(title, this);
    heading->setFont(AppAppearance::font(AppAppearance::TextStyle::title3));
    heading->setWordWrap(true);
    layout->addWidget(heading);
    layout->addWidget(
        line(detail, AppAppearance::TextStyle::body, AppAppearance::Tint::secondary, this));
}

}  // namespace kestrin
