#include "app/views/DetailCard.h"

#include <QPainter>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/ViewPainter.h"

namespace kestrin {

DetailCard::DetailCard(const QString& title, std::string_view icon, QWidget* parent)
    : QFrame(parent), title_(title), content_(new QVBoxLayout()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 16);
    layout->setSpacing(10);
    if (!title.isEmpty()) {
        auto* heading = new SymbolLabel(icon, title, AppAppearance::TextStyle::headline, this);
        heading->setSymbolColor(AppAppearance::accent());
        layout->addWidget(heading);
    }
    content_->setSpacing(10);
    layout->addLayout(content_);
    setAccessibleName(title);
}

void DetailCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    ViewPainter::drawCard(&painter, rect(), AppAppearance::cardColor(palette()),
                          AppAppearance::color(AppAppearance::Tint::separator));
}

}  // namespace kestrin
