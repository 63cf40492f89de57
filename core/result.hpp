// The one way the library reports a failure: a value, or the message the user is shown.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace obrin {

// The message of a refusal, as the warning box or the command line shows it.
struct Failure {
  std::string message;
};

inline Failure fail(std::string message) { return Failure{std::move(message)}; }

// A value or a Failure. Reads like std::optional (test it, then * or ->), and error() names
// what went wrong.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : v_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return v_.index() == 0; }
  bool has_value() const { return ok(); }
  explicit operator bool() const { return ok(); }

  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(value()); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& value() & {
    assert(ok());
    return std::get<0>(v_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(v_);
  }
  template <class U>
  T value_or(U&& other) const {
    return ok() ? std::get<0>(v_) : static_cast<T>(std::forward<U>(other));
  }

  // Empty for a value.
  const std::string& error() const {
    static const std::string none;
    return ok() ? none : std::get<1>(v_).message;
  }
  // The failure, to pass on as the caller's own result.
  Failure failure() const { return Failure{error()}; }

 private:
  std::variant<T, Failure> v_;
};

// An action that yields nothing but may fail.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Failure failure) : error_(std::move(failure.message)), failed_(true) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return error_; }
  Failure failure() const { return Failure{error_}; }

 private:
  std::string error_;
  bool failed_ = false;
};

}  // namespace obrin
