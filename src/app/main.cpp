// The desktop program: one model for the life of the process, one window.
#include <QApplication>

#include "app/AppModel.h"
#include "app/ApplicationSetup.h"
#include "app/MainWindow.h"
#include "app/QtPlatform.h"
#include "app/QtViewDialogs.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    kestrin::ApplicationSetup::configure(application);

    kestrin::QtViewDialogs dialogs;
    kestrin::AppModel model(kestrin::makeQtPlatform());
    kestrin::MainWindow window(model, dialogs);
    dialogs.setWindow(&window);
    window.show();
    return QApplication::exec();
}
