#include "ProgressText.h"

#include <charconv>
#include <cmath>
#include <string>

namespace ProgressText {

QString percent(float fraction)
{
    if (!std::isfinite(fraction))
        fraction = 0.0f;
    // Round the decimal the reader would write for this float, so halves are halves:
    // 0.005f is 0.00499999989 in binary yet reads as 0.005 and gives "1%".
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(fraction), std::chars_format::fixed);
    const std::string s(buf, res.ptr);
    const std::size_t dot = s.find('.');
    std::string digits = s.substr(0, dot);
    const std::string frac = dot == std::string::npos ? std::string() : s.substr(dot + 1);
    digits += (frac + "000").substr(0, 2); // times 100
    if (frac.size() > 2 && frac[2] >= '5') {
        int i = int(digits.size()) - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i];
    }
    const std::size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? std::string("0") : digits.substr(first);
    if (fraction < 0 && digits != "0")
        digits.insert(digits.begin(), '-');
    return QString::fromStdString(digits) + QLatin1Char('%');
}

QString caption(float fraction)
{
    return QStringLiteral("已经完成：") + percent(fraction);
}

} // namespace ProgressText
