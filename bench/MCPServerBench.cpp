// kestrin-mcp as agents meet it: the real program over pipes. Aims: start to
// initialize reply under 10 ms, a 3-item submission round trip under 2 ms,
// over 500 sequential submissions per second.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "MCPTestSupport.h"

namespace {

using kestrin::testing::ServerProcess;
using nlohmann::json;

// A fresh data directory for one benchmark, removed afterwards.
class BenchHome {
public:
    BenchHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrin-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~BenchHome() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string submissionLine(int id, const std::string& receiptID) {
    json items = json::array();
    for (int index = 1; index <= 3; ++index) {
        items.push_back(
            {{"id", "item-" + std::to_string(index)},
             {"title", "Grant the deployment key"},
             {"reason", "Only a person may approve production access."},
             {"expected_outcome", "The pipeline can deploy."},
             {"category", "permission"},
             {"priority", "high"},
             {"estimated_minutes", 5},
             {"prerequisites", json::array({"Admin rights on the project"})},
             {"steps", json::array({{{"id", "step-1"},
                                     {"order", 1},
                                     {"title", "Open the settings"},
                                     {"instruction", "Open Settings, then Deploy keys."},
                                     {"kind", "navigate"},
                                     {"requires_password", false},
                                     {"success_signal", "The key list shows."},
                                     {"failure_action", "Tell the agent what you see."}}})},
             {"verification",
              {{"instruction", "Re-run the pipeline."}, {"success_evidence", "It is green."}}}});
    }
    const json receipt = {
        {"schema_version", "1.0"},
        {"receipt_id", receiptID},
        {"version", 1},
        {"created_at", "2026-07-27T08:30:00.000Z"},
        {"updated_at", "2026-07-27T08:30:00.000Z"},
        {"source", {{"agent", "claude_code"}, {"task_title", "Set up deployment"}}},
        {"project", {{"name", "velmora"}, {"path", "/Users/dev/velmora"}}},
        {"state", "waiting_for_user"},
        {"requires_user_action", true},
        {"summary", "Deployment needs a key only a person may grant."},
        {"items", items}};
    return json{{"jsonrpc", "2.0"},
                {"id", id},
                {"method", "tools/call"},
                {"params",
                 {{"name", "submit_intervention_receipt"}, {"arguments", {{"receipt", receipt}}}}}}
               .dump() +
           "\n";
}

const std::string initializeLine =
    R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})"
    "\n";

void BM_StartToInitializeReply(benchmark::State& state) {
    BenchHome home;
    ServerProcess(home.path()).finish();  // the database exists, as on every start but the first
    std::chrono::microseconds serverCPU{0};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        ServerProcess server(home.path());
        server.send(initializeLine);
        if (!server.readLine()) state.SkipWithError("no initialize reply");
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        server.finish();
        serverCPU += server.cpuTime();
    }
    // The program's own processor time per start (exec, loading, opening the
    // database), which a loaded machine does not inflate as it does the wall time.
    state.counters["server_cpu_ms"] =
        benchmark::Counter(std::chrono::duration<double, std::milli>(serverCPU).count(),
                           benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartToInitializeReply)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SubmitThreeItemsRoundTrip(benchmark::State& state) {
    BenchHome home;
    ServerProcess server(home.path());
    int sequence = 0;
    for (auto _ : state) {
        ++sequence;
        server.send(submissionLine(sequence, "rc-bench-" + std::to_string(sequence)));
        const auto reply = server.readLine();
        if (!reply || reply->find(R"("result":"inserted")") == std::string::npos) {
            state.SkipWithError("submission not inserted");
        }
    }
    state.counters["server_cpu_us"] = benchmark::Counter(
        static_cast<double>(server.cpuTime().count()), benchmark::Counter::kAvgIterations);
    server.finish();
}
BENCHMARK(BM_SubmitThreeItemsRoundTrip)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime();

void BM_ThousandSequentialSubmissions(benchmark::State& state) {
    BenchHome home;
    ServerProcess server(home.path());
    int sequence = 0;
    for (auto _ : state) {
        for (int index = 0; index < 1000; ++index) {
            ++sequence;
            server.send(submissionLine(sequence, "rc-bench-" + std::to_string(sequence)));
            if (!server.readLine()) state.SkipWithError("no reply");
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.counters["server_cpu_us_per_submission"] = benchmark::Counter(
        static_cast<double>(server.cpuTime().count()) / 1000.0, benchmark::Counter::kAvgIterations);
    server.finish();
}
BENCHMARK(BM_ThousandSequentialSubmissions)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace
