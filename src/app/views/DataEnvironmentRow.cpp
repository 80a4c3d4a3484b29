#include "app/views/DataEnvironmentRow.h"

#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/widgets/WrappingText.h"

namespace kestrin {
namespace {

QString nameOf(TaskDataEnvironment environment) {
    return TextLabels::text(displayName(environment));
}

}  // namespace

const char* DataEnvironmentRow::symbol(TaskDataEnvironment environment) {
    switch (environment) {
        case TaskDataEnvironment::standard:
            return "externaldrive.fill.badge.checkmark";
        case TaskDataEnvironment::temporary:
            return "testtube.2";
        case TaskDataEnvironment::custom:
            return "externaldrive.badge.questionmark";
    }
    return "externaldrive.badge.questionmark";
}

QString DataEnvironmentRow::accessibilityLabel(TaskDataEnvironment environment,
                                               const QString& path) {
    return QStringLiteral("当前任务库，") + nameOf(environment) + QStringLiteral("，路径 ") + path;
}

DataEnvironmentRow::DataEnvironmentRow(TaskDataEnvironment environment, const QString& path,
                                       QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("dataEnvironmentRow"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 4, 10, 6);
    layout->setSpacing(3);

    auto* name = new SymbolLabel(symbol(environment), nameOf(environment),
                                 AppAppearance::TextStyle::headline, this);
    name->setObjectName(QStringLiteral("dataEnvironmentName"));
    name->setTextColor(AppAppearance::color(AppAppearance::environmentTint(environment)));
    layout->addWidget(name);

    auto* pathLabel = new WrappingText(path, this);
    pathLabel->setObjectName(QStringLiteral("dataEnvironmentPath"));
    pathLabel->setFont(AppAppearance::font(AppAppearance::TextStyle::monospacedCaption));
    pathLabel->setTextColor(AppAppearance::color(AppAppearance::Tint::secondary));
    layout->addWidget(pathLabel);

    setToolTip(path);
    pathLabel->setToolTip(path);
    setAccessibleName(accessibilityLabel(environment, path));
}

}  // namespace kestrin
