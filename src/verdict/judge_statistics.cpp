// The judge's statistics (judge.h): the binomial distribution through the
// regularized incomplete beta function, the exact tests and intervals built
// on it, the order statistics' ranks and Holm's step-down. Doubles and the
// C library's lgamma only.
#include <cmath>
#include <cstdint>

#include "verdict/judge.h"
#include "verdict/judge_parts.h"

namespace {

// The continued fraction of the incomplete beta function (Lentz's method),
// which converges fast for x < (a + 1) / (a + b + 2).
double betaFraction(double a, double b, double x) {
    constexpr double tiny = 1e-300;
    constexpr double epsilon = 1e-15;
    constexpr int stepsMost = 1000000;
    const double qab = a + b;
    const double qap = a + 1.0;
    const double qam = a - 1.0;
    double c = 1.0;
    double d = 1.0 - qab * x / qap;
    if (std::fabs(d) < tiny) d = tiny;
    d = 1.0 / d;
    double h = d;
    for (int m = 1; m <= stepsMost; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
        d = 1.0 + aa * d;
        if (std::fabs(d) < tiny) d = tiny;
        c = 1.0 + aa / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1.0 / d;
        h *= d * c;
        aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
        d = 1.0 + aa * d;
        if (std::fabs(d) < tiny) d = tiny;
        c = 1.0 + aa / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < epsilon) break;
    }
    return h;
}

// The binomial probability of exactly k.
double binomialMass(std::int64_t k, std::int64_t n, double p) {
    if (k < 0 || k > n) return 0.0;
    if (p <= 0.0) return k == 0 ? 1.0 : 0.0;
    if (p >= 1.0) return k == n ? 1.0 : 0.0;
    const auto kd = static_cast<double>(k);
    const auto nd = static_cast<double>(n);
    return std::exp(std::lgamma(nd + 1.0) - std::lgamma(kd + 1.0) - std::lgamma(nd - kd + 1.0) + kd * std::log(p) +
                    (nd - kd) * std::log1p(-p));
}

// P(X >= k).
double binomialAtLeast(std::int64_t k, std::int64_t n, double p) {
    if (k <= 0) return 1.0;
    if (k > n) return 0.0;
    // P(X >= k) = I_p(k, n - k + 1)
    return incompleteBeta(static_cast<double>(k), static_cast<double>(n - k + 1), p);
}

}  // namespace

double incompleteBeta(double a, double b, double x) {
    if (x <= 0.0) return 0.0;
    if (x >= 1.0) return 1.0;
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
    if (x < (a + 1.0) / (a + b + 2.0)) return front * betaFraction(a, b, x) / a;
    return 1.0 - front * betaFraction(b, a, 1.0 - x) / b;
}

double inverseIncompleteBeta(double a, double b, double probability) {
    if (probability <= 0.0) return 0.0;
    if (probability >= 1.0) return 1.0;
    // Bisection to the last bit: the function rises from 0 to 1.
    double low = 0.0;
    double high = 1.0;
    for (int step = 0; step < 2000; ++step) {
        const double middle = 0.5 * (low + high);
        if (middle <= low || middle >= high) break;
        if (incompleteBeta(a, b, middle) < probability) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return 0.5 * (low + high);
}

double binomialCdf(std::int64_t k, std::int64_t n, double p) {
    if (k < 0) return 0.0;
    if (k >= n) return 1.0;
    // P(X <= k) = I_(1-p)(n - k, k + 1)
    return incompleteBeta(static_cast<double>(n - k), static_cast<double>(k + 1), 1.0 - p);
}

double binomialTest(std::int64_t k, std::int64_t n, double p) {
    if (n <= 0 || k < 0 || k > n) return 1.0;
    const double expected = p * static_cast<double>(n);
    const double d = binomialMass(k, n, p);
    // scipy's relative tolerance for masses equal to k's.
    const double limit = d * (1.0 + 1e-7);
    if (static_cast<double>(k) == expected) return 1.0;
    double value = 0.0;
    if (static_cast<double>(k) < expected) {
        // The other tail: the first x from the mode up whose mass is at
        // most k's (masses fall there).
        std::int64_t low = static_cast<std::int64_t>(std::ceil(expected));
        std::int64_t high = n + 1;  // none
        while (low < high) {
            const std::int64_t middle = low + (high - low) / 2;
            if (binomialMass(middle, n, p) <= limit) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        value = binomialCdf(k, n, p) + (low <= n ? binomialAtLeast(low, n, p) : 0.0);
    } else {
        // The other tail: the last x up to the mode whose mass is at most
        // k's (masses rise there).
        std::int64_t low = -1;  // none
        std::int64_t high = static_cast<std::int64_t>(std::floor(expected));
        while (low < high) {
            const std::int64_t middle = high - (high - low) / 2;
            if (binomialMass(middle, n, p) <= limit) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        value = (low >= 0 ? binomialCdf(low, n, p) : 0.0) + binomialAtLeast(k, n, p);
    }
    return value < 1.0 ? value : 1.0;
}

std::int64_t binomialQuantile(double probability, std::int64_t n, double p) {
    std::int64_t low = 0;
    std::int64_t high = n;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (binomialCdf(middle, n, p) >= probability) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

RateInterval clopperPearson(std::int64_t k, std::int64_t n) {
    if (n <= 0) return RateInterval{0.0, 1.0};
    const auto kd = static_cast<double>(k);
    const auto nd = static_cast<double>(n);
    const double low = k <= 0 ? 0.0 : inverseIncompleteBeta(kd, nd - kd + 1.0, 0.025);
    const double high = k >= n ? 1.0 : inverseIncompleteBeta(kd + 1.0, nd - kd, 0.975);
    return RateInterval{low, high};
}

double stallRateTest(std::int64_t k1, std::int64_t n1, std::int64_t k2, std::int64_t n2) {
    if (n1 <= 0 || n2 <= 0 || k1 + k2 <= 0) return 1.0;
    const double p = static_cast<double>(n1) / (static_cast<double>(n1) + static_cast<double>(n2));
    return binomialTest(k1, k1 + k2, p);
}

PercentileRanks percentileRanks(std::int64_t n, std::int64_t perMille, double miss) {
    if (n <= 0) return PercentileRanks{0, 0, 0};
    const std::int64_t rank = nearestRank(n, perMille);
    const double q = static_cast<double>(perMille) / 1000.0;
    const std::int64_t low = binomialQuantile(miss / 2.0, n, q);
    const std::int64_t high = binomialQuantile(1.0 - miss / 2.0, n, q) + 1;
    return PercentileRanks{rank, low >= 1 && low <= n ? low : 0, high >= 1 && high <= n ? high : 0};
}

std::int64_t valuesForPercentileInterval(std::int64_t perMille, double miss) {
    // The upper end is the last to be known: 1 - q^n >= 1 - miss/2.
    const double q = static_cast<double>(perMille) / 1000.0;
    auto n = static_cast<std::int64_t>(std::ceil(std::log(miss / 2.0) / std::log(q)));
    if (n < 1) n = 1;
    while (n > 1) {
        const PercentileRanks below = percentileRanks(n - 1, perMille, miss);
        if (below.low == 0 || below.high == 0) break;
        --n;
    }
    for (;;) {
        const PercentileRanks ranks = percentileRanks(n, perMille, miss);
        if (ranks.low != 0 && ranks.high != 0) return n;
        ++n;
    }
}

double intervalMissOf(std::int64_t intervals) {
    return 0.05 / static_cast<double>(intervals > 1 ? intervals : 1);
}

namespace {

// Holm's step-down over `count` tests: pOf(i) the p-value of test i,
// slotOf(i) a double of test i's own that ends as its adjusted p-value (it
// holds -1 - its place in ascending order meanwhile), reject(i, bool).
template <typename PValueOf, typename SlotOf, typename Reject>
void holmSteps(std::int64_t count, double alpha, PValueOf pOf, SlotOf slotOf, Reject reject) {
    for (std::int64_t i = 0; i < count; ++i) {
        std::int64_t place = 0;
        for (std::int64_t j = 0; j < count; ++j) {
            if (pOf(j) < pOf(i) || (pOf(j) == pOf(i) && j < i)) ++place;
        }
        slotOf(i) = -1.0 - static_cast<double>(place);
    }
    auto placeOf = [&](std::int64_t i) { return static_cast<std::int64_t>(-1.0 - slotOf(i)); };
    // The first place, in that order, whose p-value fails its bound: every
    // test before it is a difference, none from it on.
    std::int64_t firstFailing = count;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t place = placeOf(i);
        if (pOf(i) > alpha / static_cast<double>(count - place) && place < firstFailing) firstFailing = place;
    }
    for (std::int64_t i = 0; i < count; ++i) reject(i, placeOf(i) < firstFailing);
    // Adjusted: the largest (count - place) * p up to each place, at most 1.
    double most = 0.0;
    for (std::int64_t place = 0; place < count; ++place) {
        for (std::int64_t i = 0; i < count; ++i) {
            if (slotOf(i) >= 0.0 || placeOf(i) != place) continue;
            double scaled = static_cast<double>(count - place) * pOf(i);
            if (scaled > 1.0) scaled = 1.0;
            if (scaled > most) most = scaled;
            slotOf(i) = most;
            break;
        }
    }
}

}  // namespace

void holmStepDown(const double* pValues, std::int64_t count, double alpha, bool* rejected, double* adjusted) {
    holmSteps(
        count, alpha, [&](std::int64_t i) { return pValues[i]; }, [&](std::int64_t i) -> double& { return adjusted[i]; },
        [&](std::int64_t i, bool r) { rejected[i] = r; });
}

void holmOverVerdicts(CoreVerdict* verdicts, std::int64_t count) {
    holmSteps(
        count, verdictAlpha, [&](std::int64_t i) { return verdicts[i].pValue; },
        [&](std::int64_t i) -> double& { return verdicts[i].holmPValue; },
        [&](std::int64_t i, bool r) { verdicts[i].rateDiffers = r; });
}
