#include "app/views/widgets/SectionHeader.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/TextLabels.h"

namespace kestrin {
namespace {

QLabel* line(const QString& text, AppAppearance::TextStyle style, AppAppearance::Tint tint,
             QWidget* parent) {
    QLabel* label = TextLabels::label(text, style, parent, true);
    TextLabels::setTint(label, tint);
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
    layout->addWidget(TextLabels::label(title, AppAppearance::TextStyle::title3, this, true));
    layout->addWidget(
        line(detail, AppAppearance::TextStyle::body, AppAppearance::Tint::secondary, this));
}

}  // namespace kestrin
