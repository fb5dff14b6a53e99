// Test support: a fresh folder under the temporary folder for one test, removed with it.
// Use it on the test's thread.
#pragma once

#include <string>

namespace ostrel::reporter::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }
    // Writes `content` to `name` in the folder and returns the file's path.
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string path_;
};

}  // namespace ostrel::reporter::test
