// Legible disabled buttons in both appearances; long titles shown whole.

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <map>

#include "app/views/TaskDetailView.h"
#include "app/views/dialogs/QtViewDialogs.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/ColumnHeader.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

double luminance(const QColor& color) {
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    // std::minmax returns references: its arguments must outlive the result.
    const double first = luminance(a), second = luminance(b);
    const auto [low, high] = std::minmax(first, second);
    return (high + 0.05) / (low + 0.05);
}

// Face: the commonest colour right of the icon; text: the pixel furthest from it.
double drawnTextContrast(QPushButton* button) {
    const QImage image = button->grab().toImage();
    std::map<QRgb, int> counts;
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = image.width() / 2; x < image.width() - 15; ++x) ++counts[image.pixel(x, y)];
    }
    const QColor face(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                          return a.second < b.second;
                      })->first);
    double best = 1.0;
    for (const auto& [pixel, count] : counts) best = std::max(best, contrast(face, QColor(pixel)));
    return best;
}

}  // namespace

class WindowPolishTest : public QObject {
    Q_OBJECT

private slots:
    // Disabled until every step is ticked, yet read at 3:1 or more.
    void disabledHandBackButtonsStayLegible() {
        auto& application = *qobject_cast<QApplication*>(QCoreApplication::instance());
        for (const auto scheme :
             {AppAppearance::ColorScheme::light, AppAppearance::ColorScheme::dark}) {
            AppAppearance::apply(application, scheme);
            GuiHarness harness;
            harness.window().show();
            harness.add(baseReceipt().dump());
            for (const char* name : {"copyResumeButton", "returnToCodexButton"}) {
                qInfo("%s in the %s appearance", name,
                      scheme == AppAppearance::ColorScheme::dark ? "dark" : "light");
                auto* button =
                    harness.window().detailView()->findChild<QPushButton*>(QString::fromUtf8(name));
                QVERIFY(!button->isEnabled());
                QCOMPARE_GE(drawnTextContrast(button), 3.0);
            }
        }
    }

    void longTitlesAreShownWhole() {
        const QString title = QStringLiteral(
            "核对生产数据库迁移后的全部只读副本、备份计划、监控告警和审计日志保留策略是否仍然一致，"
            "并把核对结果逐条记录到变更单和值班交接文档中，以便下一班同事在早会前复核");
        GuiHarness harness;
        harness.window().show();
        harness.add(receiptWith(
            [&](nlohmann::json& receipt) { receipt["items"][0]["title"] = title.toStdString(); }));

        // The toolbar title is cut with "…" and whole in its tooltip.
        auto* header =
            harness.window().detailView()->findChild<ColumnHeader*>(QStringLiteral("detailHeader"));
        QLabel* shown = header->titleLabel();
        QVERIFY(shown->text().endsWith(QChar(0x2026)));
        QVERIFY(title.startsWith(shown->text().chopped(1)));
        QVERIFY(shown->fontMetrics().horizontalAdvance(shown->text()) <= shown->width());
        QCOMPARE(shown->toolTip(), title);

        // The question wraps, not clips, on a desktop-sized screen.
        const QString question = QStringLiteral("取消并关闭“") + title + QStringLiteral("”？");
        const auto box = QtViewDialogs::confirmationBox(
            &harness.window(), {question, QStringLiteral("无需勾完步骤。"),
                                QStringLiteral("取消并关闭事项"), QStringLiteral("继续保留事项")});
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        QCOMPARE(label->text(), question);
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, label->contentsRect().width(), 10000), Qt::TextWordWrap, question);
        QCOMPARE_LE(needed.height(), label->contentsRect().height());
        QVERIFY(box->frameGeometry().width() <= box->screen()->availableGeometry().width());
    }
};

QTEST_MAIN(WindowPolishTest)
#include "WindowPolishTest.moc"
