// The desktop program: one model for the life of the process, one window.
#include <QApplication>

#include "app/AppAppearance.h"
#include "app/AppModel.h"
#include "app/MainWindow.h"
#include "app/QtPlatform.h"
#include "app/QtViewDialogs.h"
#include "app/SymbolIcons.h"

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
