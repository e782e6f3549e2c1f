#pragma once
// The packer's one exception type. Its kind decides the exit code: the publisher's input is
// wrong (fix the files) or the system failed (disk full, permissions).

#include <stdexcept>
#include <string>

enum class TPackFailure { BadInput, IoFailure };

class EPackError : public std::runtime_error {
public:
    // `message` is UTF-8 text for the publisher, naming the file concerned.
    EPackError(TPackFailure kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    TPackFailure Kind() const noexcept { return kind_; }

private:
    TPackFailure kind_;
};

// Throws an EPackError of kind BadInput.
[[noreturn]] inline void ThrowBadInput(const std::string& message) {
    throw EPackError(TPackFailure::BadInput, message);
}

// Throws an EPackError of kind IoFailure.
[[noreturn]] inline void ThrowIoFailure(const std::string& message) {
    throw EPackError(TPackFailure::IoFailure, message);
}
