#pragma once
// Helpers of the system-service tests: a scratch folder of its own for every test under the
// Windows temporary directory, raw file access that does not go through the code under test,
// and the folder of the fixture programs.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace systest {

inline std::wstring Widen(std::string_view ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

inline bool PathExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::wstring CurrentDir() {
    wchar_t buffer[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(MAX_PATH * 2, buffer);
    return buffer;
}

// Writes `bytes` to a new file at `path`, replacing any file there; a failure fails the test.
inline void WriteBytes(const std::wstring& path, std::string_view bytes) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a test file, error " << GetLastError();
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size());
}

// Returns the file's bytes, or nullopt when it cannot be opened.
inline std::optional<std::string> ReadBytes(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

inline void MakeDir(const std::wstring& path) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "error " << GetLastError();
}

// Removes a tree whatever its attributes; links are removed, not followed.
inline void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    const HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(full);
            else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(full.c_str());
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

// A folder under the Windows temporary directory named after the running test and this
// process, made empty on construction and removed with everything in it on destruction.
class TScratchFolder {
public:
    TScratchFolder() {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::wstring(temp) + L"systest_" + Widen(test->test_suite_name()) + L"_" +
                Widen(test->name()) + L"_" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(path_);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TScratchFolder() {
        // The walk under test changes the current directory; never stay inside the folder.
        SetCurrentDirectoryW(original_.c_str());
        RemoveTree(path_);
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    // The path of `relative` inside the folder.
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring original_ = CurrentDir();
    std::wstring path_;
};

// The Windows path of a fixture program built into the build's fixture folder.
inline std::wstring FixtureProgram(const std::wstring& fileName) {
    // The folder comes as a Unix path; Wine maps the Unix root to drive Z:.
    using TToDos = wchar_t*(CDECL*)(const char*);
    const auto toDos = reinterpret_cast<TToDos>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
    std::wstring folder;
    if (wchar_t* dos = toDos ? toDos(TEST_FIXTURE_BIN_DIR) : nullptr) {
        folder = dos;
        HeapFree(GetProcessHeap(), 0, dos);
    } else {
        folder = L"Z:" + Widen(TEST_FIXTURE_BIN_DIR);
        for (wchar_t& c : folder)
            if (c == L'/')
                c = L'\\';
    }
    return folder + L"\\" + fileName;
}

} // namespace systest
