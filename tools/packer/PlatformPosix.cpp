#include "tools/packer/Platform.h"

#include <unistd.h>

std::filesystem::path OwnExecutablePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : path;
}

void WriteText(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

std::tm LocalCalendar(std::time_t time) {
    std::tm calendar{};
    localtime_r(&time, &calendar);
    return calendar;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(getpid());
}
