#pragma once
// Helpers of the packer's tests: a scratch folder of real files, removed afterwards, and the
// installer's own archive reader over memory.

#include "archive/MemoryZipHost.h"
#include "archive/MyZip.h"
#include "sys/PlatformCodePage.h"
#include "archive/ZipReader.h"
#include "tools/packer/tests/MiniImage.h"
#include "tools/packer/BinaryFile.h"
#include "tools/packer/PathText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

namespace packertest {

// A fresh folder for one test, removed when it ends.
class TScratch {
public:
    TScratch() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::temp_directory_path() /
                (std::string("packer-test-") + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~TScratch() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    const std::filesystem::path& Root() const { return root_; }
    // Writes `bytes` to the UTF-8 relative path `name`, making its folders.
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const {
        const std::filesystem::path path = root_ / PathFromUtf8(name);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
        return path;
    }

private:
    std::filesystem::path root_;
};

// Text that deflates well, different for each seed.
inline std::string Text(std::size_t size, unsigned seed = 1) {
    static const char* const kWords[] = {"install ", "setup ",  "product ", "folder ", "file ",
                                         "window ",  "button ", "archive ", "\r\n"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size)
        text += kWords[random() % 9];
    text.resize(size);
    return text;
}

// Bytes that do not deflate.
inline std::string Noise(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

inline const ICodePage& CodePage(unsigned number) {
    static std::map<unsigned, std::unique_ptr<ICodePage>> pages;
    auto& page = pages[number];
    if (!page)
        page = MakeCodePage(number);
    return *page;
}

// Extracts `archive` with the installer's reader into memory; returns the files by their
// path below the target, with "\" separators.
inline std::map<std::wstring, std::string> ExtractAll(const std::string& archive,
                                                      TMemoryZipHost& host) {
    const std::wstring zip = L"M:\\payload.zip", target = L"M:\\target";
    host.AddFile(zip, archive);
    UnzipArchive(host, zip, target, L"");
    std::map<std::wstring, std::string> files;
    for (const auto& [path, file] : host.Files())
        if (path.rfind(target + L"\\", 0) == 0)
            files[path.substr(target.size() + 1)] = file.data;
    return files;
}

} // namespace packertest
