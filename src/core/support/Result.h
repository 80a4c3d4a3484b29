#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace kestrin {

// Wraps an error value so that Result<T, E> can be built from it even when
// T and E are the same type. Build one with fail(error).
template <typename E>
struct Failure {
    E error;
};

template <typename E>
Failure<std::decay_t<E>> fail(E&& error) {
    return {std::forward<E>(error)};
}

// Either a value or a typed error; the one error pattern of the code base.
// value() and error() must only be called on the matching state.
template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <typename F>
    Result(Failure<F> failure) : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    const E& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

private:
    std::variant<T, E> state_;
};

// A Result that carries no value on success.
template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    template <typename F>
    Result(Failure<F> failure) : error_(E(std::move(failure.error))), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const E& error() const {
        assert(failed_);
        return error_;
    }

private:
    E error_{};
    bool failed_ = false;
};

}  // namespace kestrin
