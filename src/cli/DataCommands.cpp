#include "cli/DataCommands.h"

#include <filesystem>
#include <iterator>

#include "cli/TerminalText.h"

namespace kestrin {

int DataCommands::importReceipts(const std::vector<std::string>& sources) {
    if (!context_.open()) return exitRefused;
    int status = exitSuccess;
    for (const std::string& source : sources) {
        const bool standardInput = source == "-";
        auto outcome = [&] {
            if (!standardInput) return context_.importer().importFile(source);
            const std::string bytes((std::istreambuf_iterator<char>(context_.input())),
                                    std::istreambuf_iterator<char>());
            return context_.importer().importData(bytes);
        }();
        const std::string name =
            standardInput
                ? "标准输入"
                : TerminalText::printable(std::filesystem::path(source).filename().string(), false);
        if (outcome) {
            context_.output() << name << "：" << outcome->userMessage() << '\n';
        } else {
            status = context_.refuse(name, outcome.error());
        }
    }
    return status;
}

int DataCommands::scan() {
    if (!context_.open()) return exitRefused;
    auto events = context_.inboxScanner().scanOnce();
    if (!events) return context_.refuse("无法扫描收件箱", events.error());
    if (events->empty()) {
        context_.output() << "当前没有新的 JSON 回执。\n";
        return exitSuccess;
    }
    int status = exitSuccess;
    for (const InboxScanEvent& event : *events) {
        const auto& result = event.result;
        const std::string name = TerminalText::printable(event.filename, false);
        switch (result.kind) {
            case InboxScanEvent::Result::Kind::accepted:
                context_.output() << name << "：" << result.outcome->userMessage() << '\n';
                break;
            case InboxScanEvent::Result::Kind::acceptedButArchivingFailed:
                context_.output() << name << "：" << result.outcome->userMessage()
                                  << "（注意：归档到 processed 目录失败，文件仍留在收件箱，"
                                     "下轮扫描会重试。原因："
                                  << result.reason << "）\n";
                break;
            case InboxScanEvent::Result::Kind::rejected:
                status = context_.refuse(name + "：已拒收，" + result.reason);
                break;
        }
    }
    return status;
}

}  // namespace kestrin
