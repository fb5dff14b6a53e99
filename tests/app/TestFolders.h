// Test support: a fresh settings folder and desktop configuration folder for one test
// (OSTREL_CONFIG_DIR and XDG_CONFIG_HOME), removed afterwards, so tests never touch the user's
// settings or autostart entries. Test thread only; it changes the process environment.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace apptest {

class TestFolders {
public:
    TestFolders() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-app-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a test folder");
        }
        root_ = pattern;
        config_ = root_ + "/settings";
        xdg_ = root_ + "/xdg";
        std::filesystem::create_directories(config_);
        std::filesystem::create_directories(xdg_);
        ::setenv("OSTREL_CONFIG_DIR", config_.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", xdg_.c_str(), 1);
    }
    ~TestFolders() {
        ::unsetenv("OSTREL_CONFIG_DIR");
        ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TestFolders(const TestFolders&) = delete;
    TestFolders& operator=(const TestFolders&) = delete;

    const std::string& root() const { return root_; }
    const std::string& config() const { return config_; }
    const std::string& xdg() const { return xdg_; }

private:
    std::string root_;
    std::string config_;
    std::string xdg_;
};

}  // namespace apptest
