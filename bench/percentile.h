// The benchmarks' percentile: the nearest rank, -1 for no values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}
