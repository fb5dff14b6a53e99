// Test support: points the settings store at a fresh folder for the life of one object and
// removes the folder afterwards, so tests never read or write the user's settings.
// Use it on the test's thread only; it changes the process environment.
#pragma once

#include <string>

namespace ostrel::webservice::test {

// Points the settings store at a fresh folder for one test and removes it afterwards.
class ScopedConfigDir {
public:
    ScopedConfigDir();
    ~ScopedConfigDir();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace ostrel::webservice::test
