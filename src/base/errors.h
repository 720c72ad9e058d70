// Error types shared by every layer. The design speaks of run-time errors and of the procedure that
// traps them; these exceptions are those run-time errors, all under one root, Error, so that a trap
// catches exactly them and never std::bad_alloc or a logic error.
#pragma once

#include <stdexcept>
#include <string>

namespace skyvox {

// The root of every run-time error of ours; what a trap catches.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input bytes (a file, a network message) that do not have the promised shape.
class FormatError : public Error {
 public:
  using Error::Error;
};

// A read that would go past the end of the available bytes.
class ReadPastEnd : public FormatError {
 public:
  using FormatError::FormatError;
};

// A numeric conversion whose result does not fit its type (the platform's "Overflow").
class OverflowError : public Error {
 public:
  using Error::Error;
};

// An index outside a table's bounds (the platform's "Subscript out of range").
class SubscriptError : public Error {
 public:
  using Error::Error;
};

// An integer division by zero (the platform's "Division by zero").
class DivisionByZeroError : public Error {
 public:
  using Error::Error;
};

// A file that could not be opened, read or written.
class FileError : public Error {
 public:
  using Error::Error;
};

}  // namespace skyvox
