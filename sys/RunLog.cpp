#include "sys/RunLog.h"

#include "sys/FileIo.h"
#include "sys/TextEncoding.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::atomic<bool> open{false};
std::mutex guard;
HANDLE file = INVALID_HANDLE_VALUE;
std::string pending; // UTF-8 lines not yet written
ULONGLONG startedAt = 0;

// Block size at which gathered lines are written.
constexpr std::size_t kFlushBytes = 64 * 1024;

void WritePending() {
    if (file != INVALID_HANDLE_VALUE && !pending.empty())
        WriteAllBytes(file, pending);
    pending.clear();
}

} // namespace

bool OpenRunLog(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(guard);
    if (file != INVALID_HANDLE_VALUE)
        return true;
    file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    startedAt = GetTickCount64();
    pending = "\xEF\xBB\xBF";
    open = true;
    return true;
}

bool RunLogOpen() {
    return open;
}

void LogLine(const std::wstring& line) {
    if (!open)
        return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%8.3f] ",
                  static_cast<double>(GetTickCount64() - startedAt) / 1000.0);
    const std::string text = stamp + EncodeUtf8(line) + "\r\n";
    std::lock_guard<std::mutex> lock(guard);
    pending += text;
    if (pending.size() >= kFlushBytes)
        WritePending();
}

void CloseRunLog() {
    std::lock_guard<std::mutex> lock(guard);
    if (file == INVALID_HANDLE_VALUE)
        return;
    open = false;
    WritePending();
    CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
}
