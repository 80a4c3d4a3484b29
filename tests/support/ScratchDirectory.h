#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace kestrin::testing {

// A fresh directory for one test, removed afterwards unless the test failed (then kept and named).
class ScratchDirectory {
public:
    ScratchDirectory() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string pattern = std::filesystem::temp_directory_path() / "velmora-";
        pattern += std::string(test->test_suite_name()) + "-" + test->name() + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed: " << pattern;
        path_ = pattern;
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    ~ScratchDirectory() {
        if (::testing::Test::HasFailure()) {
            std::cerr << "kept test directory " << path_ << "\n";
            return;
        }
        std::error_code ignored;  // a test may have taken away its own permissions
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& child) const {
        return path_ / child;
    }

private:
    std::filesystem::path path_;
};

}  // namespace kestrin::testing
