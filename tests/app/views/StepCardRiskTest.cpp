// A receipt whose steps trip several risk flags, shown in the real window:
// each step card names its command's risks in a red callout between the
// command and the copy button, and copying still works (the flags advise).

#include <QPushButton>
#include <QTest>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/Callout.h"
#include "app/views/StepCard.h"
#include "app/views/TaskDetailView.h"
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
        // Laid out as the user sees it, so the order on screen can be checked.
        harness.window().resize(1200, 900);
        harness.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.window()));
        TaskDetailView* detail = harness.window().detailView();
        QVERIFY(detail != nullptr);
        const QList<StepCard*> cards = detail->findChildren<StepCard*>();
        QCOMPARE(cards.size(), 3);

        const std::vector<std::vector<CommandRisk>> expected = {
            {CommandRisk::runsDownloadedCode, CommandRisk::raisesPrivileges},
            {CommandRisk::deletesOutsideProject, CommandRisk::forcePushes},
            {},
        };
        for (int i = 0; i < cards.size(); ++i) {
            StepCard* card = cards[i];
            auto* callout = card->findChild<Callout*>(QStringLiteral("commandRiskCallout"));
            const auto& risks = expected[static_cast<std::size_t>(i)];
            if (risks.empty()) {
                QVERIFY(callout == nullptr);
                continue;
            }
            QVERIFY(callout != nullptr);
            QStringList lines;
            for (const CommandRisk risk : risks) {
                lines << QStringLiteral("· ") + TextLabels::text(displayName(risk));
            }
            QCOMPARE(callout->title(), QStringLiteral("运行前再看一眼"));
            QCOMPARE(callout->text(), lines.join(QLatin1Char('\n')));
            QCOMPARE(callout->color(), AppAppearance::color(AppAppearance::Tint::red));
            const int calloutBottom = callout->mapTo(card, QPoint(0, callout->height())).y();
            QVERIFY(calloutBottom <= card->copyCommandButton()->mapTo(card, QPoint(0, 0)).y());
            QVERIFY(card->findChild<QWidget*>(QStringLiteral("commandPanel"))->mapTo(card, QPoint(0, 0)).y() <
                    callout->mapTo(card, QPoint(0, 0)).y());
        }

        cards[1]->copyCommandButton()->click();
        QCOMPARE(harness.platform().pasteboard->content,
                 std::optional<QString>(QStringLiteral(
                     "rm -rf ~/Library/Caches/shop && git push --force origin main")));
    }
};

QTEST_MAIN(StepCardRiskTest)
#include "StepCardRiskTest.moc"
