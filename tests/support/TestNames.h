#pragma once

// Names for the rows of parameterised tables, so that `ctest -N` lists the same readable names in
// every build (GoogleTest's default prints a row's raw bytes). GoogleTest accepts letters, digits
// and '_' only; caseName() turns anything else into '_'.

#include <cctype>
#include <ostream>
#include <string>
#include <string_view>

namespace testing_support {

inline std::string caseName(std::string text)
{
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return text;
}

// 12 → "12", -3 → "Minus3".
inline std::string signedName(long long value)
{
    return value < 0 ? "Minus" + std::to_string(-value) : std::to_string(value);
}

// Failure messages name a table's row rather than print its bytes: a test file brings this in with
// `using testing_support::PrintTo;` in the namespace of its rows, each of which has a `name`.
template <typename Row>
requires requires(const Row& row)
{
    std::string_view(row.name);
}
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

} // namespace testing_support
