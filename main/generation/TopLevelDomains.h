#pragma once

#include <QString>
#include <QStringView>

#include <array>

// The nine top-level domains a run can use, one check box each: box 0 is the window's Check1,
// box 8 its Check9.
namespace TopLevelDomains {

constexpr int Count = 9;

// The domain of each box.
constexpr std::array<QStringView, Count> ByBox{
    u".com", u".cn", u".net", u".com.cn", u".la", u".net.cn", u".name", u".me", u".info",
};

// The boxes in the order their domains join a run: .me (box 7) comes after .info (box 8).
constexpr std::array<int, Count> JoinOrder{0, 1, 2, 3, 4, 5, 6, 8, 7};

inline QString ofBox(int box)
{
    return ByBox[size_t(box)].toString();
}

} // namespace TopLevelDomains
