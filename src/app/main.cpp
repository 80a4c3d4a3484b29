// The desktop program: one model for the life of the process, one window.
#include <QApplication>

#include "app/views/widgets/AppAppearance.h"
#include "app/model/AppModel.h"
#include "app/views/MainWindow.h"
#include "app/platform/QtPlatform.h"
#include "app/views/dialogs/QtViewDialogs.h"
#include "app/views/widgets/SymbolIcons.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Velmora"));
    QApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(kestrin::SymbolIcons::applicationIcon());
    kestrin::AppAppearance::apply(application,
                                  kestrin::AppAppearance::forcedColorSchemeFromEnvironment());

    kestrin::QtViewDialogs dialogs;
    kestrin::AppModel model(kestrin::makeQtPlatform());
    kestrin::MainWindow window(model, dialogs);
    dialogs.setWindow(&window);
    window.show();
    return QApplication::exec();
}
