#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrin {

// The figures of the scale benchmark, each at each store size: a value, or
// "over limit" when the program ran out of the memory or time it was given.
// Figures are known by key ("cli_count_ms"); the catalogue in the source
// gives each its label and unit and the order of the table.
class ScaleReport {
public:
    explicit ScaleReport(std::vector<std::int64_t> sizes);

    // Throws std::logic_error for a key not in the catalogue.
    void record(const std::string& figure, std::int64_t size, double value);
    void recordOverLimit(const std::string& figure, std::int64_t size);
    // Whether the figure has a value or an "over limit" at that size.
    bool has(const std::string& figure, std::int64_t size) const;
    // A line printed under the table and kept in the JSON, such as how a
    // program went over its limit.
    void addNote(const std::string& note) { notes_.push_back(note); }
    // Every figure of the catalogue whose key starts with `prefix`.
    static std::vector<std::string> figures(const std::string& prefix);

    // One row per figure, one column per size, then the ratio of the last
    // size's value to the first's; cells not measured stay blank. Then the notes.
    void print(std::ostream& out) const;
    nlohmann::json toJSON() const;

private:
    using Cell = std::optional<double>;  // nothing: over limit
    std::optional<double> ratio(const std::string& figure) const;

    std::vector<std::int64_t> sizes_;
    std::map<std::string, std::map<std::int64_t, Cell>> cells_;
    std::vector<std::string> notes_;
};

}  // namespace kestrin
