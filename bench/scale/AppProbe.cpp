#include "AppProbe.h"

#include <sys/resource.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QScrollBar>
#include <chrono>
#include <iostream>

#include "ProcessMemory.h"
#include "Samples.h"
#include "app/model/AppModel.h"
#include "app/views/MainWindow.h"
#include "app/views/SidebarView.h"
#include "app/views/TaskListView.h"
#include "fakes/FakePlatform.h"
#include "views/FakeViewDialogs.h"

namespace kestrin {

namespace {

using Clock = std::chrono::steady_clock;

double processorMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

class Probe {
public:
    Probe(const std::filesystem::path& home, std::ostream& out)
        : home_(home), platform_({{"KESTRIN_HOME", home.string()}}), out_(out) {}

    int run(const std::string& pendingTaskKey) {
        const double processorBefore = processorMilliseconds();
        const auto started = Clock::now();
        model_ = std::make_unique<AppModel>(platform_.take());
        window_ = std::make_unique<MainWindow>(*model_, dialogs_);
        window_->show();
        paint();
        const auto shown = Clock::now();
        report("app_start_ms", Samples::milliseconds(shown - started));
        report("app_start_cpu_ms", processorMilliseconds() - processorBefore);
        report("app_start_rss_mb", ProcessMemory::peakResidentMB());
        if (model_->notice()) {
            std::cerr << "the app started with a notice: "
                      << model_->notice()->message.toStdString() << "\n";
            return 1;
        }

        Samples ticks;
        for (int i = 0; i < 200; ++i) ticks.add(timed([&] { tick(); }) * 1000.0);
        report("app_idle_tick_us", ticks.median());

        auto other = SQLiteTaskStore::open(home_ / "tasks.sqlite");
        if (!other) return failed(other.error().description());
        Samples refreshes;
        for (int i = 0; i < 4; ++i) {
            const auto status = i % 2 == 0 ? TaskStatus::waitingExternal : TaskStatus::pending;
            if (auto changed = (*other)->setStatus(pendingTaskKey, status, std::nullopt);
                !changed) {
                return failed(changed.error().description());
            }
            refreshes.add(timed([&] {
                tick();
                window_->repaint();
            }));
        }
        report("app_refresh_ms", refreshes.median());

        for (const auto& [view, name] :
             {std::pair{SidebarSelection::status(TaskStatus::completed), "completed"},
              std::pair{SidebarSelection::all(), "all"}}) {
            Samples firstScreens;
            for (int i = 0; i < 3; ++i) {
                if (!choose(SidebarSelection::attention())) return 1;
                bool chosen = false;
                firstScreens.add(timed([&] { chosen = choose(view); }));
                if (!chosen) return 1;
            }
            report(std::string("app_") + name + "_first_ms", firstScreens.median());
            if (window_->taskList()->listView()->model()->rowCount() == 0) {
                return failed(std::string("the ") + name + " view lists nothing");
            }
            Samples pages;
            auto* scrollBar = window_->taskList()->listView()->verticalScrollBar();
            for (int i = 0; i < 20; ++i) {
                pages.add(timed([&] {
                    scrollBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                    paint();
                }));
            }
            report(std::string("app_") + name + "_page_ms", pages.median());
            report(std::string("app_") + name + "_page_worst_ms", pages.worst());
        }

        // Typing a word and deleting it again, over every task: one that one
        // task in eleven holds, and one that none holds, where the search
        // reads its first stretch of rows and goes on from the event loop.
        auto* search = window_->findChild<QLineEdit*>(QStringLiteral("searchField"));
        if (!search) return failed("no search field");
        for (const auto& [word, figure] :
             {std::pair{QStringLiteral("数据库迁移"), "app_search_ms"},
              std::pair{QStringLiteral("没有这个词"), "app_search_rare_ms"}}) {
            Samples keystrokes;
            for (int round = 0; round < 2; ++round) {
                for (const QChar character : word) {
                    keystrokes.add(timed([&] { press(search, Qt::Key_unknown, character); }));
                }
                if (search->text() != word) {
                    return failed("the search field did not take the keys");
                }
                for (qsizetype left = word.size(); left > 0; --left) {
                    keystrokes.add(timed([&] { press(search, Qt::Key_Backspace, {}); }));
                }
            }
            report(figure, keystrokes.median());
        }
        return 0;
    }

private:
    // What the event loop would do next: deliver events and run posted work.
    void settle() {
        QApplication::processEvents();
        platform_.deferredCalls->runPending();
        QApplication::processEvents();
    }
    // Every figure but the idle tick changes what the window shows: it counts
    // until the whole window is drawn again.
    void paint() {
        settle();
        window_->repaint();
    }
    // The scan timer's tick. Nothing is forced to paint: with nothing new
    // the window should not redraw, and whatever it asks to redraw is drawn
    // while the events are delivered.
    void tick() {
        model_->scanTimerFired();
        settle();
    }
    // One key as the keyboard delivers it, so the field reacts as to a user.
    void press(QLineEdit* search, Qt::Key key, QString text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(search, &press);
        QApplication::sendEvent(search, &release);
        paint();
    }
    // Clicks the view's row in the sidebar; false (with the reason on
    // standard error) when the middle column does not then show it.
    bool choose(const SidebarSelection& view) {
        auto* row = window_->sidebar()->itemFor(view);
        if (!row) return complain("no sidebar row for " + TaskListView::title(view).toStdString());
        window_->sidebar()->list()->setCurrentItem(row);
        paint();
        auto* title = window_->findChild<QLabel*>(QStringLiteral("taskListTitle"));
        if (!title || title->text() != TaskListView::title(view)) {
            return complain("the list does not show " + TaskListView::title(view).toStdString());
        }
        return true;
    }
    template <typename Work>
    double timed(Work work) {
        const auto started = Clock::now();
        work();
        return Samples::milliseconds(Clock::now() - started);
    }
    void report(const std::string& figure, double value) {
        out_ << figure << ' ' << value << std::endl;
    }
    static bool complain(const std::string& reason) {
        std::cerr << reason << "\n";
        return false;
    }
    static int failed(const std::string& reason) { return complain(reason) ? 0 : 1; }

    const std::filesystem::path home_;
    FakePlatform platform_;
    FakeViewDialogs dialogs_;
    std::ostream& out_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace

int AppProbe::run(const std::filesystem::path& home, const std::string& pendingTaskKey,
                  std::ostream& out) {
    Probe probe(home, out);
    return probe.run(pendingTaskKey);
}

}  // namespace kestrin
