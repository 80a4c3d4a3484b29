// The desktop program: one model for the life of the process, one window.
#include <QApplication>

#include "app/model/AppModel.h"
#include "app/platform/QtPlatform.h"
#include "app/views/ApplicationSetup.h"
#include "app/views/MainWindow.h"
#include "app/views/dialogs/QtViewDialogs.h"
#include "app/views/dialogs/ViewConfirmationAlerts.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    kestrin::ApplicationSetup::configure(application);

    kestrin::QtViewDialogs dialogs;
    kestrin::AppModel model(
        kestrin::makeQtPlatform(std::make_unique<kestrin::ViewConfirmationAlerts>(dialogs)));
    kestrin::MainWindow window(model, dialogs);
    dialogs.setWindow(&window);
    window.show();
    return QApplication::exec();
}
