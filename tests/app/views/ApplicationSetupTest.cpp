// The program's own set-up as a user meets it: the titles the window system
// shows (read back from a real X server) and Qt's own dialogs in Chinese.

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include "app/views/ApplicationSetup.h"
#include "app/views/dialogs/QtViewDialogs.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

// The title the X server holds for `window`, as a window manager reads it.
QString shownTitle(QWidget& window) {
    QProcess xprop;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    xprop.setProcessEnvironment(environment);
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(window.winId()), QStringLiteral("-notype"),
                 QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000)) return QStringLiteral("<xprop did not answer>");
    const QString line =
        QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();  // _NET_WM_NAME = "…"
    const qsizetype start = line.indexOf(QLatin1Char('"'));
    return start < 0 ? line : line.mid(start + 1).chopped(1);
}

}  // namespace

class ApplicationSetupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(ApplicationSetup::configure(
            *qobject_cast<QApplication*>(QCoreApplication::instance())));
    }

    void windowAndAlertTitlesAreExactlyOurs() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb") ||
            QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty()) {
            QSKIP("needs an X server and xprop to read the shown titles");
        }
        GuiHarness harness;
        harness.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.window()));
        QCOMPARE(shownTitle(harness.window()), QStringLiteral("Velmora · 隔离测试库"));
        const auto notice =
            QtViewDialogs::noticeBox(&harness.window(), QStringLiteral("收件箱已检查"),
                                     QStringLiteral("当前没有新的 JSON 回执。"));
        notice->show();
        QVERIFY(QTest::qWaitForWindowExposed(notice.get()));
        QCOMPARE(shownTitle(*notice), QStringLiteral("收件箱已检查"));
    }

    void qtOwnTextsAreChinese() {
        QDialogButtonBox buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("保存"));
        QFileDialog panel;  // the one drawn by Qt
        panel.setOption(QFileDialog::DontUseNativeDialog);
        auto* lookIn = panel.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        QVERIFY(lookIn != nullptr);
        QVERIFY2(lookIn->text() != QStringLiteral("Look in:"), qPrintable(lookIn->text()));
    }
};

QTEST_MAIN(ApplicationSetupTest)
#include "ApplicationSetupTest.moc"
