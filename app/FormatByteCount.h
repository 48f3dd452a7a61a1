// Byte counts as the main window shows them: decimal, a comma between groups of three digits.
#pragma once

#include <cstdint>
#include <string>

// The highest non-zero group is written without leading zeros and every lower group with
// exactly three digits; groups stop at the billions, which are written whole
// (1234567890123 -> "1234,567,890,123"). The comma does not depend on the locale.
// Zero and every negative count give "0".
std::wstring FormatByteCount(std::int64_t count);
