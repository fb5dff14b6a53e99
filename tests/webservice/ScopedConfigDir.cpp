#include "tests/webservice/ScopedConfigDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace ostrel::webservice::test {

ScopedConfigDir::ScopedConfigDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-ws-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a settings folder");
    }
    path_ = pattern;
    ::setenv("OSTREL_CONFIG_DIR", path_.c_str(), 1);
}

ScopedConfigDir::~ScopedConfigDir() {
    ::unsetenv("OSTREL_CONFIG_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace ostrel::webservice::test
