// Renders the window's main states to PNG files for scripts/screenshots (run
// under Xvfb):  velmora_screenshots OUTPUT_DIRECTORY
#include <QApplication>
#include <QDir>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>

#include "app/views/TaskDetailView.h"
#include "app/views/widgets/AppAppearance.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using kestrin::testing::GuiHarness;

namespace {

const std::string billing = "rcpt-2026-07-27-billing-migration";
const std::string grantKey = billing + "::grant-replica-access";
const std::string windowKey = billing + "::confirm-window";
const std::string releaseKey = "rcpt-2026-07-27-release-approval::approve-release";
QDir output;
bool ok = true;

void save(QWidget& widget, const char* name) {
    QApplication::processEvents();
    const QString path = output.filePath(QString::fromUtf8(name));
    ok = widget.grab().save(path) && ok;
    std::printf("%s\n", qPrintable(path));
}

// The sample receipts, in the states a working day leaves them in.
void seed(GuiHarness& harness) {
    for (const char* file : {"claude-push-certificate.json", "opencode-release-approval.json",
                             "codex-note-only.json", "receipt-typical.json"}) {
        const auto path = std::string_view(file).starts_with("receipt-")
                              ? std::filesystem::path(VELMORA_EXAMPLES) / file
                              : testing::guiTestData(file);
        if (auto error = harness.submit(testing::readFile(path))) qFatal("%s", error->c_str());
    }
    for (const char* step : {"open-console", "find-replica"}) harness.tickStep(grantKey, step);
    for (const char* step : {"read-plan", "check-calendar", "choose-time", "paste-choice"}) {
        harness.tickStep(windowKey, step);
    }
    harness.setStatus(billing + "::wait-dns", TaskStatus::waitingExternal);
    harness.tickStep(releaseKey, "review-diff");
    harness.tickStep(releaseKey, "approve");
    harness.setStatus(releaseKey, TaskStatus::readyToResume);
    harness.reload();
}

void select(GuiHarness& harness, const std::string& key, const char* name) {
    harness.model().updateTaskSelection({key});
    harness.settle();
    save(harness.window(), name);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_screenshots OUTPUT_DIRECTORY\n");
        return 2;
    }
    output.setPath(QString::fromLocal8Bit(argv[1]));
    if (!output.exists() && !QDir().mkpath(output.path())) return 1;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    AppAppearance::apply(application, AppAppearance::ColorScheme::light);
    {
        GuiHarness harness;
        harness.window().show();
        harness.settle();
        save(harness.window(), "empty-store.png");
        seed(harness);
        select(harness, "rcpt-2026-07-27-push-certificate::renew-apns", "attention-list.png");
        harness.model().setNote(windowKey,
                                QStringLiteral("选择今晚 22:30 开始迁移；值班日历上没有冲突。"));
        select(harness, windowKey, "codex-detail.png");
        auto* scroll =
            harness.window().detailView()->findChild<QScrollArea*>()->verticalScrollBar();
        scroll->setValue(scroll->maximum());
        save(harness.window(), "codex-detail-handback.png");
        harness.model().setSelection(SidebarSelection::history());
        harness.settle();
        save(harness.window(), "history.png");
    }
    // The palette is read when the views are built: a new window for the dark one.
    AppAppearance::apply(application, AppAppearance::ColorScheme::dark);
    GuiHarness harness;
    harness.window().show();
    seed(harness);
    select(harness, grantKey, "dark-appearance.png");
    return ok ? 0 : 1;
}
