// Which bucket of a histogram a value counts in.
#pragma once

#include <cstdint>

// `upper` holds the `bucketCount - 1` inclusive upper bounds, rising; the
// last bucket takes everything above them. Nearly every value lands in the
// first few buckets, so a scan from the bottom ends after a comparison or two.
inline std::int64_t histogramBucket(std::int64_t value, const std::int64_t* upper, std::int64_t bucketCount) {
    std::int64_t bucket = 0;
    while (bucket < bucketCount - 1 && value > upper[bucket]) ++bucket;
    return bucket;
}
