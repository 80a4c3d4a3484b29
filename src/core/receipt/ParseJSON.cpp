#include "core/receipt/ParseJSON.h"

#include <cstring>
#include <exception>

namespace kestrin {

namespace {

using json = nlohmann::json;

// Builds the value with nlohmann's own DOM builder, refusing to go deeper
// than maxJSONDepth. The parser itself is iterative; the limit is for what
// callers do with the value afterwards.
class DepthLimitedBuilder {
public:
    explicit DepthLimitedBuilder(json& result) : builder_(result, false) {}

    bool null() { return builder_.null(); }
    bool boolean(bool value) { return builder_.boolean(value); }
    bool number_integer(json::number_integer_t value) { return builder_.number_integer(value); }
    bool number_unsigned(json::number_unsigned_t value) { return builder_.number_unsigned(value); }
    bool number_float(json::number_float_t value, const json::string_t& text) {
        return builder_.number_float(value, text);
    }
    bool string(json::string_t& value) { return builder_.string(value); }
    bool binary(json::binary_t& value) { return builder_.binary(value); }
    bool key(json::string_t& value) { return builder_.key(value); }
    bool start_object(std::size_t size) { return enter() && builder_.start_object(size); }
    bool start_array(std::size_t size) { return enter() && builder_.start_array(size); }
    bool end_object() {
        --depth_;
        return builder_.end_object();
    }
    bool end_array() {
        --depth_;
        return builder_.end_array();
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
        errorOffset_ = position;
        return false;
    }

    bool tooDeep() const { return tooDeep_; }
    std::size_t errorOffset() const { return errorOffset_; }

private:
    bool enter() {
        if (++depth_ > maxJSONDepth) tooDeep_ = true;
        return !tooDeep_;
    }

    nlohmann::detail::json_sax_dom_parser<json> builder_;
    std::size_t depth_ = 0;
    bool tooDeep_ = false;
    std::size_t errorOffset_ = 0;
};

}  // namespace

Result<json, DecodingError> parseJSON(std::string_view text) {
    // nlohmann's lexer takes a NUL byte for the end of the input and would
    // accept "{}\0anything"; no JSON text may contain one.
    if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
        return fail(DecodingError::invalidJSON(
            static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()) + 1));
    }
    try {
        json result;
        DepthLimitedBuilder builder(result);
        if (!json::sax_parse(text.begin(), text.end(), &builder)) {
            if (builder.tooDeep()) return fail(DecodingError::tooDeep(maxJSONDepth));
            return fail(DecodingError::invalidJSON(builder.errorOffset()));
        }
        return result;
    } catch (const std::exception&) {
        // nlohmann reports every fault of the text through the builder; what
        // is left is running out of memory for a huge text.
        return fail(DecodingError::tooLarge());
    }
}

}  // namespace kestrin
