#include "record/suspended_spans.h"

namespace {

void addSpan(SuspendedSpans& spans, std::int64_t fromUtcMs, std::int64_t toUtcMs) {
    // A clock set back while asleep must not make the total shrink.
    if (toUtcMs < fromUtcMs) toUtcMs = fromUtcMs;
    if (spans.listed < suspendedSpansKept) spans.kept[spans.listed++] = SuspendedSpan{fromUtcMs, toUtcMs};
    ++spans.count;
    spans.totalMs += toUtcMs - fromUtcMs;
}

}  // namespace

void clearSuspendedSpans(SuspendedSpans& spans) {
    spans.listed = 0;
    spans.count = 0;
    spans.totalMs = 0;
    spans.openFromUtcMs = -1;
}

void openSuspendedSpan(SuspendedSpans& spans, std::int64_t utcMs) {
    if (spans.openFromUtcMs < 0) spans.openFromUtcMs = utcMs;
}

void closeSuspendedSpan(SuspendedSpans& spans, std::int64_t utcMs, std::int64_t sleptMs) {
    if (spans.openFromUtcMs >= 0) {
        addSpan(spans, spans.openFromUtcMs, utcMs);
        spans.openFromUtcMs = -1;
    } else if (sleptMs > 0) {
        addSpan(spans, utcMs - sleptMs, utcMs);
    }
}

void settleSuspendedSpans(const SuspendedSpans& spans, std::int64_t nowUtcMs, SuspendedSpans& to) {
    to = spans;
    closeSuspendedSpan(to, nowUtcMs, 0);
}
