#include "sys/MyCommonFuns.h"
#include "sys/ProgramFile.h"

#include "sys/Error.h"
#include "sys/Win32Handle.h"
#include "SysTestSupport.h"

#include <gtest/gtest.h>

using systest::TScratchFolder;

namespace {

// The bytes of resources/pattern.bin, stored as ZIPFILE: every byte value, NUL, CR, LF, 0x1A.
std::string Pattern() {
    std::string bytes;
    for (int i = 0; i < 4099; ++i)
        bytes += static_cast<char>((i * 131 + 7) % 256);
    return bytes;
}

std::wstring ModulePath() {
    wchar_t path[MAX_PATH * 2] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return path;
}

// A picture type with the toolkit's loading member, recording what it was given.
struct TFakePicture {
    std::string png;
    int loads = 0;
    void LoadPngFromMemory(const void* data, std::size_t size) {
        png.assign(static_cast<const char*>(data), size);
        ++loads;
    }
};

template <typename F> std::wstring ErrorOf(F&& call) {
    try {
        call();
    } catch (const EInstallerError& e) {
        return e.Message();
    }
    return L"(no error)";
}

} // namespace

TEST(ResourcesTest, ExistsMatchesNameAndTypeWithoutCase) {
    struct Case {
        const wchar_t* name;
        const wchar_t* type;
        bool exists;
    };
    const Case cases[] = {
        {L"zipfile", L"file", true}, {L"ZipFile", L"FiLe", true}, {L"ZIPFILE", L"FILE", true},
        {L"logo", L"file", true},    {L"nosuch", L"file", false}, {L"zipfile", L"rcdata", false},
        {L"zipfile", L"", false},    {L"", L"file", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResourceExists(c.name, c.type), c.exists) << c.name << " / " << c.type;
    }
}

TEST(ResourcesTest, BytesAreTheStoredBytes) {
    EXPECT_EQ(std::string(ResourceData(L"zipfile", L"file")), Pattern());
    EXPECT_EQ(ResourceData(L"ZIPFILE", L"file").size(), 4099u);
}

TEST(ResourcesTest, MissingResourceFailsWithItsName) {
    const std::wstring expected = L"Resource nosuch not found";
    EXPECT_EQ(ErrorOf([] { std::string(ResourceData(L"nosuch", L"file")); }), expected);
    EXPECT_EQ(ErrorOf([] { LoadResourceText(L"nosuch", L"file"); }), expected);
    TFakePicture picture;
    EXPECT_EQ(ErrorOf([&] { LoadPngResource(picture, L"nosuch", L"file"); }), expected);
    EXPECT_EQ(picture.loads, 0);
}

TEST(ResourcesTest, TextIsDecodedByItsMarkAndNormalised) {
    struct Case {
        const wchar_t* name;
        std::wstring text;
    };
    const Case cases[] = {
        {L"utf8doc", L"Gr\u00FC\u00DFe \u4E2D\u6587\r\nline2\r\nline3\r\n"},
        {L"utf16ledoc", L"Gr\u00FC\u00DFe \u4E2D\u6587 \U0001F600\r\nline2\r\n"},
        {L"utf16bedoc", L"Gr\u00FC\u00DFe\r\n\u4E2D\u6587\r\n\r\nend\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadResourceText(c.name, L"file"), c.text) << c.name;
    }
}

TEST(ResourcesTest, UnmarkedTextUsesTheAnsiCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "written for code page 1252, the system has " << GetACP();
    EXPECT_EQ(LoadResourceText(L"ansidoc", L"file"), L"Caf\u00E9 \u20AC 5\r\nline2\r\n");
}

// Run once more under LC_ALL=zh_CN.UTF-8, where Wine's ANSI code page is 936.
TEST(ResourcesCodePageTest, GbkDocumentFollowsTheAnsiCodePage) {
    const std::wstring text = LoadResourceText(L"gbkdoc", L"file");
    if (GetACP() == 936) {
        EXPECT_EQ(text, L"\u6807\u9898=\u5B89\u88C5\u7A0B\u5E8F\r\n\u7B2C\u4E8C\u884C\r\n");
    } else if (GetACP() == 1252) {
        // Each GBK byte stands for itself in 1252: the document comes out garbled, not empty.
        EXPECT_EQ(text, L"\u00B1\u00EA\u00CC\u00E2=\u00B0\u00B2\u00D7\u00B0\u00B3\u00CC\u00D0"
                        L"\u00F2\r\n\u00B5\u00DA\u00B6\u00FE\u00D0\u00D0\r\n");
    } else {
        GTEST_SKIP() << "no expectation for code page " << GetACP();
    }
}

TEST(ResourcesTest, PngLoadersHandOverTheResourceBytes) {
    TFakePicture image, picture;
    LoadPngResource(image, L"logo", L"file");
    LoadPngResource(picture, L"LOGO", L"FILE");
    EXPECT_EQ(image.loads, 1);
    EXPECT_EQ(picture.loads, 1);
    EXPECT_EQ(image.png.size(), 75u);
    EXPECT_EQ(image.png.substr(0, 8), "\x89PNG\r\n\x1A\n");
    EXPECT_EQ(picture.png, image.png);
}

TEST(ResourcesTest, ModuleArgumentChoosesTheImage) {
    // A copy of this test program loaded as plain data, and a program without resources.
    TScratchFolder scratch;
    const std::wstring copy = scratch / L"copy.exe";
    ASSERT_TRUE(CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE));
    const TLibrary self(LoadLibraryExW(copy.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    const TLibrary other(LoadLibraryExW(systest::FixtureProgram(L"sleeper.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(self) << "error " << GetLastError();
    ASSERT_TRUE(other) << "error " << GetLastError();
    ASSERT_NE(self.Get(), GetModuleHandleW(nullptr));

    EXPECT_TRUE(ResourceExists(L"zipfile", L"file", self.Get()));
    EXPECT_EQ(std::string(ResourceData(L"zipfile", L"file", self.Get())), Pattern());
    EXPECT_EQ(LoadResourceText(L"utf16bedoc", L"file", self.Get()),
              LoadResourceText(L"utf16bedoc", L"file"));

    EXPECT_FALSE(ResourceExists(L"zipfile", L"file", other.Get()));
    EXPECT_EQ(ErrorOf([&] { std::string(ResourceData(L"zipfile", L"file", other.Get())); }),
              L"Resource zipfile not found");
}
