// History at any size: builds stores of 10,000, 100,000 and 1,000,000 tasks
// (one in 200 open) and measures what the user waits for at each size: the
// desktop app's start, refresh, search and views, velmora-cli count and list,
// and kestrin-mcp's get_kestrin_status, with peak resident memory. Prints a
// table of the sizes side by side with the ratio of the last size to the
// first (1M / 10k by default), and writes the figures as JSON.
//
//   scale_benchmark [--sizes 10000,100000,1000000] [--runs 5] [--app-runs 3]
//                   [--cache DIR] [--results FILE] [--rebuild]
//
// The app (a child process per run: this program with --app-probe) and
// velmora-cli run under a 4 GiB address-space limit and a 120 s deadline, so
// that a cost which follows the history cannot take the shared machine; a
// child that runs out of either is reported as "over limit" for the figures
// it had not yet taken. Any other failure, of a program or of a figure, ends
// the benchmark with a non-zero status.

#include <QApplication>
#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "AppProbe.h"
#include "LimitedChild.h"
#include "Samples.h"
#include "ScaleReport.h"
#include "ScaleStoreBuilder.h"
#include "ServerProbe.h"

using namespace kestrin;
namespace fs = std::filesystem;

namespace {

constexpr LimitedChild::Limits childLimits{std::int64_t{4} << 30, std::chrono::seconds(120)};

struct Options {
    std::vector<std::int64_t> sizes{10000, 100000, 1000000};
    int runs = 5;
    int appRuns = 3;
    fs::path cache = VELMORA_SCALE_CACHE;
    fs::path results = VELMORA_SCALE_RESULTS;
    bool rebuild = false;
};

std::vector<std::int64_t> parseSizes(const std::string& text) {
    std::vector<std::int64_t> sizes;
    std::istringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        std::size_t used = 0;
        const long long size = std::stoll(item, &used);
        if (used != item.size() || size <= 0) throw std::invalid_argument(item);
        sizes.push_back(size);
    }
    if (sizes.empty()) throw std::invalid_argument(text);
    return sizes;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(option + " needs a value");
            return argv[++i];
        };
        if (option == "--sizes") {
            options.sizes = parseSizes(value());
        } else if (option == "--runs") {
            options.runs = std::max(1, std::stoi(value()));
        } else if (option == "--app-runs") {
            options.appRuns = std::max(1, std::stoi(value()));
        } else if (option == "--cache") {
            options.cache = value();
        } else if (option == "--results") {
            options.results = value();
        } else if (option == "--rebuild") {
            options.rebuild = true;
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    return options;
}

[[noreturn]] void programFailed(const std::string& what, const LimitedChild::Outcome& outcome) {
    throw std::runtime_error(what + " failed (" + outcome.ending + "):\n" + outcome.errors);
}

// velmora-cli `command` with its default filters, `runs` times.
void measureCLI(ScaleReport& report, std::int64_t size, const fs::path& home,
                const std::string& command, int runs) {
    const auto environment = LimitedChild::environmentWith({"KESTRIN_HOME=" + home.string()});
    Samples wall, processor, resident;
    for (int run = 0; run < runs; ++run) {
        const auto outcome =
            LimitedChild::run(VELMORA_CLI_PATH, {command}, environment, childLimits);
        if (outcome.overLimit) {
            for (const auto& figure : ScaleReport::figures("cli_" + command)) {
                report.recordOverLimit(figure, size);
            }
            return;
        }
        if (!outcome.succeeded) programFailed("velmora-cli " + command, outcome);
        if (command == "count" &&
            outcome.output != std::to_string(ScaleStoreBuilder::openTaskCount(size)) + "\n") {
            throw std::runtime_error("velmora-cli count printed " + outcome.output);
        }
        if (command == "list" && outcome.output.empty()) {
            throw std::runtime_error("velmora-cli list printed nothing");
        }
        wall.add(Samples::milliseconds(outcome.wallTime));
        processor.add(Samples::milliseconds(outcome.processorTime));
        resident.add(outcome.peakResidentKiB / 1024.0);
    }
    report.record("cli_" + command + "_ms", size, wall.median());
    if (command == "count") report.record("cli_count_cpu_ms", size, processor.median());
    report.record("cli_" + command + "_rss_mb", size, resident.median());
}

// The app in a child process per run; the median of each figure over the
// runs that took it.
void measureApp(ScaleReport& report, std::int64_t size, const fs::path& home, int runs) {
    const auto environment = LimitedChild::environmentWith({"QT_QPA_PLATFORM=offscreen"});
    std::map<std::string, Samples> samples;
    bool overLimit = false;
    for (int run = 0; run < runs && !overLimit; ++run) {
        const auto outcome =
            LimitedChild::run(fs::read_symlink("/proc/self/exe"),
                              {"--app-probe", home.string(), ScaleStoreBuilder::pendingTaskKey()},
                              environment, childLimits);
        if (!outcome.succeeded && !outcome.overLimit) programFailed("the app", outcome);
        overLimit = outcome.overLimit;
        if (overLimit) {
            std::ostringstream note;
            note << "At " << size << " tasks the app went over its "
                 << (outcome.ending == "deadline" ? "time" : "memory") << " limit after "
                 << static_cast<int>(Samples::milliseconds(outcome.wallTime) / 1000) << " s ("
                 << outcome.processorTime.count() / 1000000 << " s of processor time).";
            report.addNote(note.str());
        }
        std::istringstream lines(outcome.output);
        for (std::string figure; lines >> figure;) {
            double value = 0;
            lines >> value;
            samples[figure].add(value);
        }
        if (!overLimit) samples["app_peak_rss_mb"].add(outcome.peakResidentKiB / 1024.0);
    }
    for (const auto& figure : ScaleReport::figures("app_")) {
        if (samples.contains(figure)) {
            report.record(figure, size, samples[figure].median());
        } else if (overLimit) {
            report.recordOverLimit(figure, size);
        } else {
            throw std::runtime_error("the app did not report " + figure);
        }
    }
}

// The machine is shared: how busy it was belongs with the figures.
std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

int benchmark(const Options& options) {
    ScaleReport report(options.sizes);
    report.addNote("Load average at the start: " + loadAverage() + ".");
    const ScaleStoreBuilder builder(options.cache);
    for (const auto size : options.sizes) {
        std::cerr << "==> " << size << " tasks: store\n";
        const auto started = std::chrono::steady_clock::now();
        const fs::path home = builder.dataDirectory(size, options.rebuild);
        std::ostringstream store;
        store << "Store of " << size << " tasks (" << ScaleStoreBuilder::openTaskCount(size)
              << " open): " << fs::file_size(home / "tasks.sqlite") / 1000000 << " MB, ready in "
              << static_cast<int>(
                     Samples::milliseconds(std::chrono::steady_clock::now() - started) / 1000)
              << " s.";
        std::cerr << "    " << store.str() << "\n";
        report.addNote(store.str());
        std::cerr << "==> " << size << " tasks: velmora-cli\n";
        measureCLI(report, size, home, "count", options.runs);
        measureCLI(report, size, home, "list", options.runs);
        std::cerr << "==> " << size << " tasks: kestrin-mcp\n";
        const auto server = ServerProbe::measure(KESTRIN_MCP_PATH, home, std::max(options.runs, 9),
                                                 ScaleStoreBuilder::openTaskCount(size));
        report.record("mcp_status_ms", size, server.statusMilliseconds);
        report.record("mcp_rss_mb", size, server.peakResidentMB);
        std::cerr << "==> " << size << " tasks: app\n";
        measureApp(report, size, home, options.appRuns);
    }
    report.addNote("Load average at the end: " + loadAverage() + ".");
    report.print(std::cout);
    fs::create_directories(options.results.parent_path());
    std::ofstream(options.results) << report.toJSON().dump(2) << "\n";
    std::cout << "Results: " << options.results.string() << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::string_view(argv[1]) == "--app-probe") {
            // Out of memory under the parent's limit is a figure, not a crash.
            std::set_new_handler([] {
                std::fputs("out of memory\n", stderr);
                std::_Exit(3);
            });
            QApplication application(argc, argv);
            return AppProbe::run(argv[2], argv[3], std::cout);
        }
        Options options;
        try {
            options = parseOptions(argc, argv);
        } catch (const std::logic_error& error) {  // std::stoi's and ours
            std::cerr << "scale_benchmark: bad option (" << error.what() << ")\nusage: "
                      << "scale_benchmark [--sizes N,...] [--runs N] [--app-runs N] "
                         "[--cache DIR] [--results FILE] [--rebuild]\n";
            return 2;
        }
        return benchmark(options);
    } catch (const std::exception& error) {
        std::cerr << "scale_benchmark: " << error.what() << "\n";
        return 1;
    }
}
