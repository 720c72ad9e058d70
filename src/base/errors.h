// Error types shared by every layer. The design speaks of run-time errors and of the procedure that
// traps them; these exceptions are those run-time errors.
#pragma once

#include <stdexcept>
#include <string>

namespace skyvox {

// Input bytes (a file, a network message) that do not have the promised shape.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A read that would go past the end of the available bytes.
class ReadPastEnd : public FormatError {
 public:
  using FormatError::FormatError;
};

// A numeric conversion whose result does not fit its type (the platform's "Overflow").
class OverflowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that could not be opened, read or written.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace skyvox
