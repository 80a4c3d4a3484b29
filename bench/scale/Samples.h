#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace kestrin {

// Repeated measurements of one figure. A median, not a mean, because the
// machine is shared: one run slowed by another engineer's build must not move
// the figure.
class Samples {
public:
    // Durations are kept in milliseconds.
    static double milliseconds(std::chrono::nanoseconds duration) {
        return std::chrono::duration<double, std::milli>(duration).count();
    }

    void add(double value) { values_.push_back(value); }
    bool empty() const { return values_.empty(); }

    // The middle value (the upper one of an even count); 0 when empty.
    double median() const {
        if (values_.empty()) return 0;
        std::vector<double> sorted = values_;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        return sorted[sorted.size() / 2];
    }
    // The largest value: a stall shows here; 0 when empty.
    double worst() const {
        return values_.empty() ? 0 : *std::max_element(values_.begin(), values_.end());
    }

private:
    std::vector<double> values_;
};

}  // namespace kestrin
