// A value or the reason why there is none. Reasons are sentences a user can act on.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace varnoke {

struct Failure {
    std::string reason;
};

template <typename T>
class Expected {
public:
    Expected(T value) : content_(std::move(value)) {}
    Expected(Failure failure) : content_(std::move(failure)) {}

    bool ok() const { return std::holds_alternative<T>(content_); }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<T>(content_); }
    const T& value() const { return std::get<T>(content_); }
    const std::string& reason() const { return std::get<Failure>(content_).reason; }

private:
    std::variant<T, Failure> content_;
};

// Done, or the reason why not: `Expected<void>{}` is success.
template <>
class Expected<void> {
public:
    Expected() = default;
    Expected(Failure failure) : failure_(std::move(failure)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& reason() const { return failure_.reason; }
    const Failure& failure() const { return failure_; }

private:
    Failure failure_;
    bool failed_ = false;
};

}  // namespace varnoke
