// The run as Prometheus text (exposition format 0.0.4), for the file that
// --metrics keeps and a node exporter's textfile collector serves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "record/run_summary.h"
#include "text/text_buffer.h"

// The longest version text metricsCapacity makes room for.
constexpr std::size_t metricsVersionMax = 64;
// What metricsCapacity counts on besides the cores' samples: the families
// (each with its HELP and TYPE lines, whose texts are fixed in the format),
// the longest of those two lines together, and the samples outside the
// per-core families (info, start time, cores, log dropped, problems, the
// run's end, time asleep, threshold, the process snapshots taken and failed,
// the service).
constexpr std::size_t metricsFamiliesMost = 17;
constexpr std::size_t metricsHeaderMost = 224;
constexpr std::size_t metricsScalarLinesMost = 11;

// Replaces `out` with the whole exposition of `run`: UTF-8, LF line endings,
// a final newline, no time stamps, every family with its HELP and TYPE, the
// families sorted by name. `out.overflowed` is set when it did not fit.
void formatMetrics(const RunSummary& run, TextBuffer& out);

// An upper bound of formatMetrics' size for a run of `coreCount` cores, with
// or without the wake-up samplers (--fine), whatever the figures: the
// capacity of the buffer made before the run.
std::size_t metricsCapacity(std::int64_t coreCount, bool withWakes);
