#pragma once
// The one exception type of the program: an unexpected failure carrying the text that the
// application's error handler shows. Expected failures are returned as bool instead.

#include <stdexcept>
#include <string>

class EInstallerError : public std::runtime_error {
public:
    explicit EInstallerError(std::wstring message)
        : std::runtime_error("installer error"), message_(std::move(message)) {}

    // The text shown to the user (before the error handler's "." rule is applied).
    const std::wstring& Message() const noexcept { return message_; }

private:
    std::wstring message_;
};

// A file-system failure with the system's error code: a folder the directory walk cannot open,
// a temporary folder or script that cannot be created or written.
class EInOutError : public EInstallerError {
public:
    EInOutError(std::wstring message, unsigned long code)
        : EInstallerError(std::move(message)), code_(code) {}
    unsigned long ErrorCode() const noexcept { return code_; }

private:
    unsigned long code_;
};
