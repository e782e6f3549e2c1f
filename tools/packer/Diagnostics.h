#pragma once
// The findings of validation: errors stop the packing, warnings do not. Each one names the
// file and, where known, the line and the settings key, so that the publisher can go there.

#include <cstddef>
#include <string>
#include <vector>

enum class TSeverity { Error, Warning };

struct TDiagnostic {
    TSeverity Severity = TSeverity::Error;
    std::string File;     // as the publisher named it (UTF-8)
    std::size_t Line = 0; // from 1; 0 when the finding has no line
    std::string Message;  // UTF-8, without the location
};

class TDiagnostics {
public:
    void Error(const std::string& file, std::size_t line, const std::string& message);
    void Warning(const std::string& file, std::size_t line, const std::string& message);

    bool HasErrors() const { return errors_ > 0; }
    std::size_t ErrorCount() const { return errors_; }
    const std::vector<TDiagnostic>& All() const { return all_; }

private:
    std::vector<TDiagnostic> all_;
    std::size_t errors_ = 0;
};

// Returns "file:line: error: message" (or "file: warning: ..." without a line).
std::string FormatDiagnostic(const TDiagnostic& diagnostic);
