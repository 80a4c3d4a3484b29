#pragma once

#include <filesystem>
#include <string>

#include "core/AppPaths.h"

namespace kestrin::testing {

// Runs the whole program (start-up and read loop) in this process over string
// streams, with KESTRIN_HOME set to `home`.
class InProcessServer {
  public:
    explicit InProcessServer(std::filesystem::path home) : home_(std::move(home)) {}

    // Serves `input` until its end and returns what went to standard output.
    std::string serve(const std::string& input);

    const std::string& diagnostics() const { return diagnostics_; }
    int status() const { return status_; }
    AppPaths paths() const { return AppPaths(home_); }

  private:
    std::filesystem::path home_;
    std::string diagnostics_;
    int status_ = -1;
};

}  // namespace kestrin::testing
