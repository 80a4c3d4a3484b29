#include "core/receipt/DecodingError.h"

namespace kestrin {

std::string DecodingError::message() const {
    return path.empty() ? description : path + "：" + description;
}

DecodingError DecodingError::invalidJSON(std::size_t byteOffset) {
    return {{}, "不是有效的 JSON 文本（第 " + std::to_string(byteOffset) + " 个字节处）"};
}

DecodingError DecodingError::tooLarge() {
    return {{}, "JSON 文本过大，无法读取"};
}

DecodingError DecodingError::tooDeep(std::size_t limit) {
    return {{}, "JSON 嵌套超过 " + std::to_string(limit) + " 层"};
}

DecodingError DecodingError::typeMismatch(std::string path, std::string_view expected,
                                          std::string_view actual) {
    return {std::move(path),
            "类型错误：应为" + std::string(expected) + "，实际为" + std::string(actual)};
}

DecodingError DecodingError::missingKey(std::string path) {
    return {std::move(path), "缺少必填字段"};
}

DecodingError DecodingError::nullValue(std::string path) {
    return {std::move(path), "必填字段不能为 null"};
}

DecodingError DecodingError::unknownValue(std::string path, std::string_view allowed) {
    return {std::move(path), "取值无效，应为以下之一：" + std::string(allowed)};
}

DecodingError DecodingError::integerOutOfRange(std::string path) {
    return {std::move(path), "整数超出 64 位有符号整数的范围"};
}

DecodingError DecodingError::invalidDate(std::string path) {
    return {std::move(path), "日期必须是 ISO 8601 格式，例如 2026-07-27T08:30:00Z"};
}

}  // namespace kestrin
