// The spans of a run during which the machine slept: opened by a suspend,
// closed by the resume, the first suspendedSpansKept kept with their times
// for the report and the page, the rest only counted, and the total time
// asleep. Plain data; the caller guards it.
#pragma once

#include <cstdint>

constexpr std::int64_t suspendedSpansKept = 20;

struct SuspendedSpan {
    std::int64_t fromUtcMs;
    std::int64_t toUtcMs;
};

struct SuspendedSpans {
    SuspendedSpan kept[suspendedSpansKept];
    std::int64_t listed;
    // Every closed span, listed or not.
    std::int64_t count;
    // The closed spans' time, in ms.
    std::int64_t totalMs;
    // When the open span began; -1 while the machine is awake.
    std::int64_t openFromUtcMs;
};

void clearSuspendedSpans(SuspendedSpans& spans);
// The machine is about to sleep: opens a span, unless one is open already
// (the earlier message marks the start).
void openSuspendedSpan(SuspendedSpans& spans, std::int64_t utcMs);
// The machine woke at `utcMs`: closes the open span. Without one (the
// suspend message never came), `sleptMs` > 0, the time asleep the system
// counted since the last message, dates a span that ends now; a second
// resume message for the same wake has nothing to close and adds nothing.
void closeSuspendedSpan(SuspendedSpans& spans, std::int64_t utcMs, std::int64_t sleptMs);
// `spans` as of `nowUtcMs` into `to`: an open span ends there.
void settleSuspendedSpans(const SuspendedSpans& spans, std::int64_t nowUtcMs, SuspendedSpans& to);
