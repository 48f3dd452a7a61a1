#include "app/FormatByteCount.h"

namespace {

std::wstring ThreeDigits(std::int64_t group) {
    std::wstring digits = std::to_wstring(group);
    return std::wstring(digits.size() < 3 ? 3 - digits.size() : 0, L'0') + digits;
}

// One group below the billions. Once a higher group has been written it is padded to three
// digits; before that only a positive group is written, and then plainly.
std::wstring GroupPiece(const std::wstring& result, std::int64_t group, bool comma) {
    std::wstring piece;
    if (!result.empty()) piece = ThreeDigits(group);
    else if (group > 0) piece = std::to_wstring(group);
    else return piece;
    if (comma) piece += L',';
    return piece;
}

}  // namespace

std::wstring FormatByteCount(std::int64_t count) {
    // Division truncates toward zero, so a negative count leaves no positive group.
    const std::int64_t billions = count / 1'000'000'000;
    const std::int64_t millions = (count - (count / 1'000'000'000) * 1'000'000'000) / 1'000'000;
    const std::int64_t thousands = (count - (count / 1'000'000) * 1'000'000) / 1000;
    const std::int64_t units = count - (count / 1000) * 1000;

    std::wstring result;
    if (billions > 0) result = std::to_wstring(billions) + L',';
    result += GroupPiece(result, millions, true);
    result += GroupPiece(result, thousands, true);
    result += GroupPiece(result, units, false);
    return result.empty() ? L"0" : result;
}
