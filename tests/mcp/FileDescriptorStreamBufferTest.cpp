// The program's standard streams over descriptors a client may have left
// non-blocking: the server must wait for them, not take "try again" for the
// end of its input or a failed reply.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>

#include "MCPTestSupport.h"
#include "mcp/FileDescriptorStreamBuffer.h"
#include "mcp/KestrinMCPMain.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

TEST(FileDescriptorStreamBuffer, NonBlockingDescriptorsAreWaitedOn) {
    ScratchDirectory scratch;
    std::signal(SIGPIPE, SIG_IGN);  // a server that stops early must fail the test, not kill it
    int toServer[2];
    int fromServer[2];
    ASSERT_EQ(::pipe(toServer), 0);
    ASSERT_EQ(::pipe(fromServer), 0);
    ::fcntl(toServer[0], F_SETFL, O_NONBLOCK);
    ::fcntl(fromServer[1], F_SETFL, O_NONBLOCK);

    int status = -1;
    std::ostringstream diagnostics;
    std::thread server([&] {
        FileDescriptorStreamBuffer inputBuffer(toServer[0]);
        FileDescriptorStreamBuffer outputBuffer(fromServer[1]);
        std::istream input(&inputBuffer);
        std::ostream output(&outputBuffer);
        status = KestrinMCPMain::main({{"KESTRIN_HOME", scratch.path().string()}}, input, output,
                                      diagnostics);
        ::close(fromServer[1]);
        ::close(toServer[0]);
    });

    // Half a line, a pause in which the server finds nothing to read, the rest;
    // then a reply far larger than the pipe holds, read only after a pause.
    const std::string first = requestLine("ping", json(1));
    const std::string bigId(1 << 20, 'i');
    const std::string second = requestLine("ping", json(bigId));
    ASSERT_EQ(::write(toServer[1], first.data(), 10), 10);
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(::write(toServer[1], first.data() + 10, first.size() - 10),
              static_cast<ssize_t>(first.size() - 10));
    std::thread writer([&] {
        std::size_t sent = 0;
        while (sent < second.size()) {
            const ssize_t count = ::write(toServer[1], second.data() + sent, second.size() - sent);
            if (count <= 0) break;
            sent += static_cast<std::size_t>(count);
        }
        ::close(toServer[1]);
    });
    std::this_thread::sleep_for(200ms);

    std::string output;
    char buffer[65536];
    ssize_t count;
    while ((count = ::read(fromServer[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<std::size_t>(count));
    }
    writer.join();
    server.join();
    ::close(fromServer[0]);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(diagnostics.str(), "");
    const std::vector<std::string> expected = {
        R"({"id":1,"jsonrpc":"2.0","result":{}})",
        R"({"id":")" + bigId + R"(","jsonrpc":"2.0","result":{}})"};
    EXPECT_EQ(outputLines(output), expected);
}

}  // namespace
}  // namespace kestrin::testing
