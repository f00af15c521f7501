#pragma once
// One failure value for every layer: the kind of failure, for a caller that
// decides on it, and the words a user is shown, for a caller that reports
// it. Result<T> holds either a value or an Error (Result<void>: nothing or
// an Error). No exceptions; a result must be looked at.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace platform {

enum class ErrorKind {
    NotFound,     // no such file, disk or entry
    ReadFailed,   // a read that failed or came short
    WriteFailed,  // a write, flush or rename that failed: nothing kept
    Refused,      // input refused as given: a wrong name, option or value
    Damaged,      // read, but not what it claims to be (edited, cut, garbled)
    Unsupported,  // a format or variant this program does not handle
    Cancelled,    // stopped on request
};

// "not found", "read failed", ...: for logs and tests, not for the user.
constexpr std::string_view ErrorKindName(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::NotFound: return "not found";
    case ErrorKind::ReadFailed: return "read failed";
    case ErrorKind::WriteFailed: return "write failed";
    case ErrorKind::Refused: return "refused";
    case ErrorKind::Damaged: return "damaged";
    case ErrorKind::Unsupported: return "unsupported";
    case ErrorKind::Cancelled: return "cancelled";
    }
    return "?";
}

struct Error {
    ErrorKind kind = ErrorKind::Refused;
    // The whole sentence shown to the user, as it is.
    std::string detail;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state(std::in_place_index<1>, std::move(error)) {}

    bool Ok() const { return state.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // Only when Ok().
    T& Value() & { return std::get<0>(state); }
    const T& Value() const& { return std::get<0>(state); }
    T&& Value() && { return std::get<0>(std::move(state)); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }

    // Only when !Ok().
    const Error& Failure() const { return std::get<1>(state); }
    const std::string& Detail() const { return Failure().detail; }

private:
    std::variant<T, Error> state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : failure(std::move(error)) {}

    bool Ok() const { return !failure; }
    explicit operator bool() const { return Ok(); }

    // Only when !Ok().
    const Error& Failure() const { return *failure; }
    const std::string& Detail() const { return failure->detail; }

private:
    std::optional<Error> failure;
};

}  // namespace platform
