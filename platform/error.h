// Errors inside the host are raised as formatted texts and shown by whoever began the work
// (a message box in the studio, stderr on the command line).
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// The error thrown by Raise: its what() is the finished, user-facing text.
class CError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats the text and throws it as a CError.
[[noreturn]] void Raise(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform
