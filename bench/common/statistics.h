#pragma once
// The figures the benchmarks print: machines are noisy, so each quotes the
// median of its runs (and some a high percentile), never a single run.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// The middle value, or the mean of the two middle ones; 0 for no values.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    if (n == 0) return 0;
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The value that `fraction` of the values do not exceed (0.99: the 99th
// percentile), by the nearest rank; 0 for no values.
inline double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t at =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(values.size())));
    return values[at];
}

}  // namespace bench
