#pragma once

#include <QString>

namespace ProgressText {

// The fraction as a whole percentage with "%": the fraction's shortest decimal form times
// 100, rounded half up (0.4 -> "40%", 0.995 -> "100%", 1.005 -> "101%").
QString percent(float fraction);

// The caption of lblProg for a fraction.
QString caption(float fraction);

} // namespace ProgressText
