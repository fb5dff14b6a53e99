// Web service client: a reader of profile (ini) text held in memory, with the rules of the
// profile files the service directory was designed for. Immutable after construction, so
// any thread may read one; the directory fetch reads it on its own worker thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::webservice {

class ProfileText {
public:
    // The value buffer of a profile read: 256 bytes, so values keep at most 255 characters.
    static constexpr size_t kValueBufferSize = 256;

    explicit ProfileText(std::string_view text);

    // The value of `key` in `section`, or `defaultValue` when the section or key is missing.
    // Section and key names match without regard to ASCII case; blanks around names and
    // values are dropped, and so is one pair of matching quotes around a value. The result
    // is cut to bufferSize - 1 characters, the way a fixed buffer would hold it.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue,
                          size_t bufferSize = kValueBufferSize) const;

private:
    struct Entry {
        std::string section;  // lower case
        std::string key;      // lower case
        std::string value;
    };
    std::vector<Entry> entries_;
};

}  // namespace ostrel::webservice
