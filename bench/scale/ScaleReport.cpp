#include "ScaleReport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace kestrin {

namespace {

struct Figure {
    std::string_view key, label, unit;
};

// The figures, in the order a reader checks them.
constexpr std::array<Figure, 21> catalogue{{
    {"app_start_ms", "app: start to first painted window", "ms"},
    {"app_start_cpu_ms", "app: processor time to first paint", "ms"},
    {"app_start_rss_mb", "app: peak RSS at first paint", "MB"},
    {"app_peak_rss_mb", "app: peak RSS, whole run", "MB"},
    {"app_refresh_ms", "app: refresh after one change", "ms"},
    {"app_idle_tick_us", "app: idle tick", "µs"},
    {"app_search_ms", "app: search keystroke (全部事项)", "ms"},
    {"app_search_rare_ms", "app: search keystroke, no match", "ms"},
    {"app_completed_first_ms", "app: 已完成 first screen", "ms"},
    {"app_completed_page_ms", "app: 已完成 one page down", "ms"},
    {"app_completed_page_worst_ms", "app: 已完成 worst page", "ms"},
    {"app_all_first_ms", "app: 全部事项 first screen", "ms"},
    {"app_all_page_ms", "app: 全部事项 one page down", "ms"},
    {"app_all_page_worst_ms", "app: 全部事项 worst page", "ms"},
    {"cli_count_ms", "velmora-cli count", "ms"},
    {"cli_count_cpu_ms", "velmora-cli count, processor", "ms"},
    {"cli_count_rss_mb", "velmora-cli count, peak RSS", "MB"},
    {"cli_list_ms", "velmora-cli list", "ms"},
    {"cli_list_rss_mb", "velmora-cli list, peak RSS", "MB"},
    {"mcp_status_ms", "get_kestrin_status round trip", "ms"},
    {"mcp_rss_mb", "kestrin-mcp peak RSS", "MB"},
}};

const Figure& figureFor(std::string_view key) {
    const auto found = std::find_if(catalogue.begin(), catalogue.end(),
                                    [&](const Figure& figure) { return figure.key == key; });
    if (found == catalogue.end()) throw std::logic_error("unknown figure " + std::string(key));
    return *found;
}

// Terminal columns: CJK characters take two.
std::size_t columns(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        width += length == 3 && lead >= 0xE3 ? 2 : 1;  // U+3000 and above
        i += length;
    }
    return width;
}

std::string padded(const std::string& text, std::size_t width, bool right) {
    const std::string fill(width > columns(text) ? width - columns(text) : 0, ' ');
    return right ? fill + text : text + fill;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.2f" : value < 100 ? "%.1f" : "%.0f", value);
    return text;
}

std::string sizeName(std::int64_t size) {
    if (size % 1000000 == 0) return std::to_string(size / 1000000) + "M";
    if (size % 1000 == 0) return std::to_string(size / 1000) + "k";
    return std::to_string(size);
}

}  // namespace

ScaleReport::ScaleReport(std::vector<std::int64_t> sizes) : sizes_(std::move(sizes)) {}

void ScaleReport::record(const std::string& figure, std::int64_t size, double value) {
    figureFor(figure);
    cells_[figure][size] = value;
}

void ScaleReport::recordOverLimit(const std::string& figure, std::int64_t size) {
    figureFor(figure);
    cells_[figure][size] = std::nullopt;
}

bool ScaleReport::has(const std::string& figure, std::int64_t size) const {
    const auto row = cells_.find(figure);
    return row != cells_.end() && row->second.contains(size);
}

std::vector<std::string> ScaleReport::figures(const std::string& prefix) {
    std::vector<std::string> keys;
    for (const auto& figure : catalogue) {
        if (figure.key.starts_with(prefix)) keys.emplace_back(figure.key);
    }
    return keys;
}

std::optional<double> ScaleReport::ratio(const std::string& figure) const {
    if (sizes_.size() < 2 || !has(figure, sizes_.front()) || !has(figure, sizes_.back())) {
        return std::nullopt;
    }
    const Cell& first = cells_.at(figure).at(sizes_.front());
    const Cell& last = cells_.at(figure).at(sizes_.back());
    if (!first || !last || *first <= 0) return std::nullopt;
    return *last / *first;
}

void ScaleReport::print(std::ostream& out) const {
    std::vector<std::string> header{"figure"};
    for (const auto size : sizes_) header.push_back(sizeName(size) + " tasks");
    if (sizes_.size() > 1)
        header.push_back(sizeName(sizes_.back()) + "/" + sizeName(sizes_.front()));
    std::vector<std::vector<std::string>> rows{header};
    for (const auto& figure : catalogue) {
        const std::string key(figure.key);
        std::vector<std::string> row{std::string(figure.label) + " (" + std::string(figure.unit) +
                                     ")"};
        for (const auto size : sizes_) {
            if (!has(key, size)) {
                row.emplace_back();
            } else {
                const Cell& cell = cells_.at(key).at(size);
                row.push_back(cell ? number(*cell) : "over limit");
            }
        }
        if (sizes_.size() > 1) {
            const auto factor = ratio(key);
            row.push_back(factor ? "×" + number(*factor) : "");
        }
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], columns(row[i]));
    }
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            out << (i == 0 ? "" : "  ") << padded(row[i], widths[i], i > 0);
        }
        out << "\n";
    }
    for (const auto& note : notes_) out << note << "\n";
}

nlohmann::json ScaleReport::toJSON() const {
    nlohmann::json figures = nlohmann::json::array();
    for (const auto& figure : catalogue) {
        const std::string key(figure.key);
        nlohmann::json values = nlohmann::json::object();
        for (const auto size : sizes_) {
            if (!has(key, size)) continue;
            const Cell& cell = cells_.at(key).at(size);
            values[std::to_string(size)] =
                cell ? nlohmann::json(*cell) : nlohmann::json("over limit");
        }
        const auto factor = ratio(key);
        figures.push_back(
            {{"key", key},
             {"label", figure.label},
             {"unit", figure.unit},
             {"values", std::move(values)},
             {"ratio_last_to_first", factor ? nlohmann::json(*factor) : nlohmann::json()}});
    }
    return {{"sizes", sizes_}, {"figures", std::move(figures)}, {"notes", notes_}};
}

}  // namespace kestrin
