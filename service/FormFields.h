// Decoded fields of one "application/x-www-form-urlencoded" body, in the order they arrived.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrel::service {

class FormFields {
public:
    using Field = std::pair<std::string, std::string>;

    // Splits at "&" and "=", turns "+" into a blank and "%XX" into its byte. A "%" that is not
    // followed by two hexadecimal digits makes the whole body malformed (nothing is returned),
    // so a broken client is told so instead of having half its value stored.
    static std::optional<FormFields> parse(std::string_view body);

    const std::vector<Field>& fields() const { return fields_; }

    // The first field of that name (ASCII letters compared without regard to case: the login
    // sends "user=" where every other request sends "User="); nullptr when absent.
    const std::string* find(std::string_view name) const;

    // A text field that must be present and at most maxLength bytes long.
    std::optional<std::string> text(std::string_view name, std::size_t maxLength) const;

    // A field of decimal digits (an optional leading "-") whose value lies in [min, max].
    std::optional<int64_t> number(std::string_view name, int64_t min, int64_t max) const;

    // Parses a decimal number in [min, max]; blanks, signs other than a leading "-" and
    // trailing characters are refused.
    static std::optional<int64_t> parseNumber(std::string_view text, int64_t min, int64_t max);

    // True when the names are equal apart from the case of ASCII letters.
    static bool sameName(std::string_view a, std::string_view b);

private:
    std::vector<Field> fields_;
};

}  // namespace ostrel::service
