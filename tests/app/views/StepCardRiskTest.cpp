// Each step card names its command's risks in a red callout between the
// command and the copy button, laid out in the real window; copying still works.

#include <QPushButton>
#include <QTest>

#include "app/views/StepCard.h"
#include "app/views/TaskDetailView.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/Callout.h"
#include "app/views/widgets/TextLabels.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using namespace kestrin::testing;

class StepCardRiskTest : public QObject {
    Q_OBJECT

private slots:
    void stepCardsNameTheirCommandsRisksAboveTheCopyButton() {
        GuiHarness harness;
        QCOMPARE(harness.submitFile("risky-cleanup.json"), std::nullopt);
        harness.reload();
        harness.window().resize(1200, 900);
        harness.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.window()));
        const QList<StepCard*> cards = harness.window().detailView()->findChildren<StepCard*>();
        QCOMPARE(cards.size(), 3);
        const std::vector<std::vector<CommandRisk>> expected = {
            {CommandRisk::runsDownloadedCode, CommandRisk::raisesPrivileges},
            {CommandRisk::deletesOutsideProject, CommandRisk::forcePushes},
            {}};
        const auto top = [](QWidget* widget, StepCard* card) {
            return widget->mapTo(card, QPoint(0, 0)).y();
        };
        for (int i = 0; i < cards.size(); ++i) {
            StepCard* card = cards[i];
            auto* callout = card->findChild<Callout*>(QStringLiteral("commandRiskCallout"));
            QCOMPARE(callout == nullptr, expected[i].empty());
            if (!callout) continue;
            QStringList lines;
            for (const CommandRisk risk : expected[i])
                lines << QStringLiteral("· ") + TextLabels::text(displayName(risk));
            QCOMPARE(callout->title(), QStringLiteral("运行前再看一眼"));
            QCOMPARE(callout->text(), lines.join(QLatin1Char('\n')));
            QCOMPARE(callout->color(), AppAppearance::color(AppAppearance::Tint::red));
            QVERIFY(top(callout, card) + callout->height() <= top(card->copyCommandButton(), card));
            QVERIFY(top(card->findChild<QWidget*>(QStringLiteral("commandPanel")), card) <
                    top(callout, card));
        }
        cards[1]->copyCommandButton()->click();
        QCOMPARE(harness.platform().pasteboard->content,
                 QStringLiteral("rm -rf ~/Library/Caches/shop && git push --force origin main"));
    }
};

QTEST_MAIN(StepCardRiskTest)
#include "StepCardRiskTest.moc"
