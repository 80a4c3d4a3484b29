// Helper program of the killed-program test: the window over KESTRIN_HOME
// types its first argument into the note editor of the first task, says
// "typed" and runs until it is killed.

#include <QApplication>
#include <QPlainTextEdit>
#include <cstdlib>
#include <iostream>

#include "app/views/TaskDetailView.h"
#include "views/GuiHarness.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) return 2;
    kestrin::testing::GuiHarness harness({{"KESTRIN_HOME", std::getenv("KESTRIN_HOME")}});
    harness.reload();
    auto* view = harness.window().detailView();
    if (view == nullptr) return 3;
    // Typed as the editor receives input methods' text: any script at once.
    view->findChild<QPlainTextEdit*>(QStringLiteral("noteEditor"))
        ->insertPlainText(QString::fromUtf8(argv[1]));
    std::cout << "typed" << std::endl;
    return application.exec();
}
