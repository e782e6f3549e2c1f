#include "sys/ProgramFile.h"

#include "sys/FileIo.h"
#include "sys/MyCommonFuns.h"
#include "sys/Win32Handle.h"

#include <algorithm>

namespace {

// Held until the process ends; the system closes it then.
HANDLE held = nullptr;

} // namespace

bool HoldProgramFile() {
    if (held)
        return true;
    const std::wstring path = ModuleFileName(nullptr);
    if (path.empty())
        return false;
    // No FILE_SHARE_WRITE or FILE_SHARE_DELETE: a rename needs delete access, so it fails
    // with a sharing violation as long as this handle is open.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    held = file;
    return true;
}

HANDLE ProgramFile() {
    return held;
}

bool CopyFromProgramFile(std::uint64_t offset, std::uint64_t size, HANDLE target,
                         const TPump& pump) {
    if (!held)
        return false;
    // Positioned reads: the handle's own file pointer is never relied on.
    std::string buffer(static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 20)), '\0');
    for (std::uint64_t done = 0; done < size;) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const DWORD ask = static_cast<DWORD>(std::min<std::uint64_t>(size - done, buffer.size()));
        DWORD got = 0;
        if (!ReadFile(held, buffer.data(), ask, &got, &at) || got != ask)
            return false;
        if (!WriteAllBytes(target, std::string_view(buffer.data(), got)))
            return false;
        done += got;
        if (pump)
            pump();
    }
    return true;
}

bool CopyProgramFileTo(const std::wstring& target, const TPump& pump) {
    LARGE_INTEGER size{};
    if (!held || !GetFileSizeEx(held, &size))
        return false;
    bool copied;
    {
        THandle output(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output)
            return false;
        copied =
            CopyFromProgramFile(0, static_cast<std::uint64_t>(size.QuadPart), output.Get(), pump);
    }
    if (!copied)
        DeleteFileW(target.c_str());
    return copied;
}
