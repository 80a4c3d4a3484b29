#include "app/views/ApplicationSetup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"

namespace kestrin {

bool ApplicationSetup::configure(QApplication& application) {
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(SymbolIcons::applicationIcon());
    AppAppearance::apply(application, AppAppearance::forcedColorSchemeFromEnvironment());

    // The program's own texts are Chinese in every locale, so Qt's must be too.
    auto* translator = new QTranslator(&application);
    const bool loaded =
        translator->load(QLocale(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China),
                         QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

}  // namespace kestrin
