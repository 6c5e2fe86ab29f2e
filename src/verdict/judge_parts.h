// What the judge's files share (judge_statistics.cpp, judge_verdict.cpp);
// not for other callers.
#pragma once

#include <cstdint>

#include "verdict/judge.h"

// Holm's step-down over the verdicts' stall-rate p-values: sets each one's
// holmPValue and rateDiffers.
void holmOverVerdicts(CoreVerdict* verdicts, std::int64_t count);
