#pragma once

#include <filesystem>
#include <string>

#include "core/intake/AppPaths.h"

namespace kestrin::testing {

// Runs the whole program (start-up and read loop) in this process over string
// streams, with the given environment.
class InProcessServer {
public:
    explicit InProcessServer(AppPaths::Environment environment)
        : environment_(std::move(environment)) {}
    // With KESTRIN_HOME set to `home` and nothing else.
    explicit InProcessServer(const std::filesystem::path& home)
        : InProcessServer(AppPaths::Environment{{"KESTRIN_HOME", home.string()}}) {}

    // Serves `input` until its end and returns what went to standard output.
    std::string serve(const std::string& input);

    const std::string& diagnostics() const { return diagnostics_; }
    int status() const { return status_; }
    // The data directory the program uses in this environment.
    AppPaths paths() const { return AppPaths::defaultPaths(environment_).value(); }

private:
    AppPaths::Environment environment_;
    std::string diagnostics_;
    int status_ = -1;
};

}  // namespace kestrin::testing
