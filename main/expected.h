// A value or the reason why there is none. Reasons are sentences a user can act on.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace varnoke {

// What kind of failure it is, for callers and tests that act on it; the reason says it
// to the user.
enum class FailureKind {
    Other,
    Usage,           // a command line that cannot be followed
    CannotRead,      // a file to read is missing, unreadable, not a plain file or too large
    CannotWrite,     // an output cannot be created, written, flushed or put in place
    Malformed,       // bytes that break their format: a screen file, a disc's directory
    WrongFormat,     // a disc image of another format than CPC data
    BadName,         // a name that the target cannot hold, such as a CPC disc file name
    NoRoom,          // a disc or its directory without room for the files
    NoPicture,       // a command that needs a loaded picture, with none loaded
    PaletteRefused,  // the picture needs more colours than its mode has pens
};

struct Failure {
    std::string reason;
    FailureKind kind = FailureKind::Other;
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
    FailureKind kind() const { return std::get<Failure>(content_).kind; }
    const Failure& failure() const { return std::get<Failure>(content_); }

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
    FailureKind kind() const { return failure_.kind; }
    const Failure& failure() const { return failure_; }

private:
    Failure failure_;
    bool failed_ = false;
};

}  // namespace varnoke
