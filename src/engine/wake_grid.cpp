// The 1 ms grid of the wake-up samplers: lateness, skipped deadlines and the
// next deadline from three counter readings.
#include "engine/wake_grid.h"

#include "engine/ticks.h"

namespace {

constexpr auto deadlinesPerSecond = static_cast<std::uint64_t>(millisecondsPerSecond);

// The last deadline at or before `elapsed` ticks from the start.
std::int64_t deadlineAtOrBefore(std::uint64_t elapsed, std::int64_t frequency) {
    const auto f = static_cast<std::uint64_t>(frequency);
    auto index = static_cast<std::int64_t>(rescaleCount(elapsed, f, deadlinesPerSecond));
    // The offsets are rounded down, so the next one can already be due.
    while (wakeDeadlineOffset(index + 1, frequency) <= elapsed) ++index;
    return index;
}

}  // namespace

std::uint64_t wakeDeadlineOffset(std::int64_t index, std::int64_t frequency) {
    return rescaleCount(static_cast<std::uint64_t>(index), deadlinesPerSecond, static_cast<std::uint64_t>(frequency));
}

WakeGridStep stepWakeGrid(std::uint64_t start, std::int64_t frequency, std::int64_t waited, std::uint64_t now) {
    // Unsigned subtraction: correct across the counter's wrap.
    const std::uint64_t elapsed = now - start;
    const auto late = static_cast<std::int64_t>(elapsed - wakeDeadlineOffset(waited, frequency));
    if (late < 0) return WakeGridStep{ticksToMicroseconds(late, frequency), 0, waited, true};
    const std::int64_t passed = deadlineAtOrBefore(elapsed, frequency);
    return WakeGridStep{ticksToMicroseconds(late, frequency), passed - waited, passed + 1, false};
}

std::uint64_t ticksUntilDeadline(std::uint64_t start, std::int64_t frequency, std::int64_t index, std::uint64_t now) {
    const auto left = static_cast<std::int64_t>(wakeDeadlineOffset(index, frequency) - (now - start));
    return left > 0 ? static_cast<std::uint64_t>(left) : 0;
}

std::int64_t medianOf(std::int64_t* values, std::int64_t count) {
    if (count <= 0) return 0;
    // Insertion sort: a few dozen values, once at start.
    for (std::int64_t i = 1; i < count; ++i) {
        const std::int64_t v = values[i];
        std::int64_t j = i;
        for (; j > 0 && values[j - 1] > v; --j) values[j] = values[j - 1];
        values[j] = v;
    }
    return values[(count - 1) / 2];
}
