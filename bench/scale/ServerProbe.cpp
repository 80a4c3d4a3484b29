#include "ServerProbe.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "LimitedChild.h"
#include "ProcessMemory.h"
#include "Samples.h"
#include "support/ChildProcess.h"

namespace kestrin {

using nlohmann::json;

namespace {

std::string line(const json& message) {
    return message.dump() + "\n";
}

}  // namespace

ServerProbe::Figures ServerProbe::measure(const std::string& serverProgram,
                                          const std::filesystem::path& home, int calls,
                                          std::int64_t openTaskCount) {
    testing::ChildProcess server(serverProgram, {},
                                 LimitedChild::environmentWith({"KESTRIN_HOME=" + home.string()}));
    const auto fail = [&](const std::string& what) -> std::runtime_error {
        server.wait();
        return std::runtime_error("kestrin-mcp: " + what + "\n" + server.standardError());
    };
    server.send(line({{"jsonrpc", "2.0"},
                      {"id", 0},
                      {"method", "initialize"},
                      {"params", {{"protocolVersion", "2025-06-18"}}}}));
    if (!server.readLine()) throw fail("no reply to initialize");
    server.send(line({{"jsonrpc", "2.0"}, {"method", "notifications/initialized"}}));

    Samples roundTrips;
    for (int call = 1; call <= calls; ++call) {
        const auto request =
            line({{"jsonrpc", "2.0"},
                  {"id", call},
                  {"method", "tools/call"},
                  {"params", {{"name", "get_kestrin_status"}, {"arguments", json::object()}}}});
        const auto sent = std::chrono::steady_clock::now();
        server.send(request);
        const auto reply = server.readLine();
        roundTrips.add(Samples::milliseconds(std::chrono::steady_clock::now() - sent));
        if (!reply) throw fail("no reply to get_kestrin_status");
        const json parsed = json::parse(*reply, nullptr, false);
        const json result = parsed.is_object() ? parsed.value("result", json::object()) : json{};
        if (!result.is_object() || result.value("isError", true) ||
            result.value("structuredContent", json::object())
                    .value("unfinished_task_count", std::int64_t{-1}) != openTaskCount) {
            throw fail("unexpected status reply: " + *reply);
        }
    }
    Figures figures;
    figures.peakResidentMB = ProcessMemory::peakResidentMB(server.pid());
    server.finish();
    if (server.wait() != 0) throw fail("did not end cleanly");
    figures.statusMilliseconds = roundTrips.median();
    return figures;
}

}  // namespace kestrin
