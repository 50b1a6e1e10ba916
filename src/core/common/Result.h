#pragma once
// Outcome of an operation that can fail in an expected way: a value, or a
// code with a message for the user.

#include <optional>
#include <string>
#include <utility>

namespace sondrel {

struct Error {
  int code = 0;
  std::string message;
};

template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : error_(std::move(error)) {}  // NOLINT
  explicit operator bool() const { return value_.has_value(); }
  bool ok() const { return value_.has_value(); }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  const Error& error() const { return error_; }

 private:
  std::optional<T> value_;
  Error error_;
};

template <>
class Result<void> {
 public:
  Result() = default;
  Result(Error error) : failed_(true), error_(std::move(error)) {}  // NOLINT
  explicit operator bool() const { return !failed_; }
  bool ok() const { return !failed_; }
  const Error& error() const { return error_; }

 private:
  bool failed_ = false;
  Error error_;
};

}  // namespace sondrel
