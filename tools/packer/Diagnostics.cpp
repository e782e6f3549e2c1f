#include "tools/packer/Diagnostics.h"

void TDiagnostics::Error(const std::string& file, std::size_t line, const std::string& message) {
    all_.push_back({TSeverity::Error, file, line, message});
    ++errors_;
}

void TDiagnostics::Warning(const std::string& file, std::size_t line, const std::string& message) {
    all_.push_back({TSeverity::Warning, file, line, message});
}

std::string FormatDiagnostic(const TDiagnostic& diagnostic) {
    std::string text = diagnostic.File;
    if (diagnostic.Line != 0)
        text += ":" + std::to_string(diagnostic.Line);
    text += diagnostic.Severity == TSeverity::Error ? ": error: " : ": warning: ";
    return text + diagnostic.Message;
}
