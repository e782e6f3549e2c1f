// Name decoding, name splitting and the sanitising of stored DOS times.
#include "sys/PlatformCodePage.h"
#include "archive/ZipDosTime.h"
#include "archive/ZipNames.h"

#include <gtest/gtest.h>

#include <memory>

TEST(ZipNamesTest, NamesAreDecodedByFlagMadeByAndRoundTrip) {
    const auto cp437 = MakeCodePage(437), cp1252 = MakeCodePage(1252), cp936 = MakeCodePage(936);
    struct Case {
        const char* why;
        std::string raw;
        std::uint16_t flags, madeBy;
        bool flexible;
        const ICodePage &oem, &ansi;
        std::wstring name;
    };
    const Case cases[] = {
        {"ASCII", "dir\\a.txt", 0, 20, true, *cp437, *cp1252, L"dir\\a.txt"},
        {"OEM 437 survives the round trip",
         "\x81"
         "ber.txt",
         0, 20, true, *cp437, *cp1252, L"\u00FCber.txt"},
        {"UTF-8 flag", "\xC3\xA9t\xC3\xA9", 0x0800, 20, true, *cp437, *cp1252, L"\u00E9t\u00E9"},
        {"raw UTF-8, lossy under 437", "\xE8\xAF\xB4\xE6\x98\x8E.txt", 0, 20, true, *cp437, *cp1252,
         L"\u8BF4\u660E.txt"},
        {"raw UTF-8 read as GBK under 936", "\xE8\xAF\xB4\xE6\x98\x8E", 0, 20, true, *cp936, *cp936,
         L"\u7487\u5B58\u69D1"},
        {"GBK with a 0x5C trail byte", "\xD6\xD0\xCE\xC4\\\x9C\\\xC9\xAB.txt", 0, 20, true, *cp936,
         *cp936, L"\u4E2D\u6587\\\u6DFA\u8272.txt"},
        {"made by host 11 skips the code pages", "\x81.txt", 0, 0x0B14, true, *cp437, *cp1252,
         L"\uFFFD.txt"},
        {"code pages switched off", "\x81.txt", 0, 20, false, *cp437, *cp1252, L"\uFFFD.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeEntryName(c.raw, c.flags, c.madeBy, c.flexible, c.oem, c.ansi), c.name)
            << c.why;
    EXPECT_EQ(DecodeUnicodePathName("\xE5\x90\x8D/\xC3\x9C.txt"), L"\u540D\\\u00DC.txt");
}

TEST(ZipNamesTest, NamesSplitAfterTheLastSeparatorOrColon) {
    struct Case {
        std::wstring name, directory, fileName;
    };
    const Case cases[] = {{L"a\\b\\c.txt", L"a\\b\\", L"c.txt"},
                          {L"dir\\", L"dir\\", L""},
                          {L"C:x.txt", L"C:", L"x.txt"},
                          {L"plain", L"", L"plain"}};
    for (const Case& c : cases) {
        std::wstring directory, fileName;
        SplitEntryName(c.name, directory, fileName);
        EXPECT_EQ(directory, c.directory);
        EXPECT_EQ(fileName, c.fileName);
    }
}

TEST(ZipNamesTest, StoredDosTimesAreClamped) {
    auto dos = [](int year, int month, int day, int hour, int minute, int seconds2) {
        return TDosDateTime{static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day),
                            static_cast<std::uint16_t>((hour << 11) | (minute << 5) | seconds2)};
    };
    struct Case {
        const char* why;
        TDosDateTime stored, expected;
    };
    const Case cases[] = {
        {"valid", dos(2024, 3, 5, 10, 20, 15), dos(2024, 3, 5, 10, 20, 15)},
        {"hour 25", dos(2024, 3, 5, 25, 31, 0), dos(2024, 3, 5, 23, 31, 0)},
        {"month 0, day 0", dos(2024, 0, 0, 10, 20, 15), dos(2024, 1, 1, 10, 20, 15)},
        {"month 15, minute 63, seconds 62", dos(2024, 15, 5, 1, 63, 31),
         dos(2024, 12, 5, 1, 59, 29)},
        {"year 2107", dos(2107, 6, 6, 0, 0, 0), dos(2099, 6, 6, 0, 0, 0)},
    };
    for (const Case& c : cases) {
        const TDosDateTime got = SanitiseDosDateTime(c.stored);
        EXPECT_EQ(got.date, c.expected.date) << c.why;
        EXPECT_EQ(got.time, c.expected.time) << c.why;
    }
    const TDosCalendar cal = DosToCalendar(dos(2024, 3, 5, 10, 20, 15));
    EXPECT_EQ((std::vector<int>{cal.year, cal.month, cal.day, cal.hour, cal.minute, cal.second}),
              (std::vector<int>{2024, 3, 5, 10, 20, 30}));
}
