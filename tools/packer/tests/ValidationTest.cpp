// What the packer refuses before it writes anything: each bad input gives one clear message
// naming the file (and the line where there is one), exit code 1, and no output file.
#include "PackerTestSupport.h"

#include "tools/packer/CommandLine.h"
#include "tools/packer/ExitCodes.h"
#include "tools/packer/PayloadScan.h"
#include "tools/packer/PngCheck.h"

#include <zlib.h>

#include <functional>
#include <vector>

using namespace packertest;

namespace {

// The settings, one member a line: the member at index i is on line i + 2.
const std::vector<std::pair<std::string, std::string>> kGoodSettings = {
    {"Title", "\"Tool Setup\""},
    {"Version", "\"2.0\""},
    {"BigTitle", "\"Tool\""},
    {"Description", "\"A tool\""},
    {"MainProg", "\"Tool.exe\""},
    {"MainProgPath", "\"bin\\\\\""},
    {"ShortcutName", "\"Tool\""},
    {"OpenWebsiteAfterInstall", "\"\""},
    {"OpenWebsiteAfterUninstall", "\"\""},
    {"ProgramDirName", "\"Tool\""},
    {"NetID", "\"\""},
    {"XPSupported", "false"},
};

std::string Document(std::vector<std::pair<std::string, std::string>> members) {
    std::string text = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i)
        text += "  \"" + members[i].first + "\": " + members[i].second +
                (i + 1 < members.size() ? ",\n" : "\n");
    return text + "}\n";
}

std::vector<std::pair<std::string, std::string>> With(const std::string& key,
                                                      const std::string& value) {
    auto members = kGoodSettings;
    for (auto& member : members)
        if (member.first == key)
            member.second = value;
    return members;
}

std::vector<std::pair<std::string, std::string>> Without(const std::string& key) {
    auto members = kGoodSettings;
    std::erase_if(members, [&](const auto& m) { return m.first == key; });
    return members;
}

std::string Picture(const char* name) {
    return ReadFileBytes(std::filesystem::path(PACKER_TEST_BRANDING) /
                         (std::string(name) + ".png"));
}

struct TCase {
    const char* what;
    std::function<void(const TScratch&)> spoil;
    const char* message; // the one error's text must contain this
};

class ValidationTest : public testing::Test {
protected:
    TScratch scratch;
    std::filesystem::path output = scratch.Root() / "out" / "setup.exe";

    void SetUp() override {
        scratch.Write("product/config.json", Document(kGoodSettings));
        scratch.Write("product/payload/bin/Tool.exe", Text(1000));
        scratch.Write("product/branding/logo.png", Picture("logo"));
        scratch.Write("product/branding/bgpic.png", Picture("bgpic"));
        scratch.Write("stub.exe", MiniImage());
        std::filesystem::create_directories(output.parent_path());
    }

    // Runs "packer pack product --stub stub.exe -o out/setup.exe"; returns the exit code and
    // leaves what it printed on the error stream in `errors`.
    int Pack(std::string& errors) {
        testing::internal::CaptureStderr();
        const int code = RunPacker({"packer", "pack", PathToUtf8(scratch.Root() / "product"),
                                    "--stub", PathToUtf8(scratch.Root() / "stub.exe"), "-o",
                                    PathToUtf8(output), "--quiet"});
        errors = testing::internal::GetCapturedStderr();
        return code;
    }

    std::size_t Count(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1))
            ++count;
        return count;
    }
};

TEST_F(ValidationTest, EachBadInputGivesOneMessageAndNoOutput) {
    const std::string settings = PathToUtf8(scratch.Root() / "product" / "config.json");
    const std::vector<TCase> cases = {
        {"a required key missing",
         [](const TScratch& s) { s.Write("product/config.json", Document(Without("Title"))); },
         ": error: the required key \"Title\" is missing (a string)"},
        {"a Boolean written as a string",
         [](const TScratch& s) {
             s.Write("product/config.json", Document(With("XPSupported", "\"false\"")));
         },
         "config.json:13: error: the key \"XPSupported\" must be true or false, not a string "
         "(the installer would read \"false\" as true)"},
        {"a version written as a number",
         [](const TScratch& s) {
             s.Write("product/config.json", Document(With("Version", "3.5")));
         },
         "config.json:3: error: the key \"Version\" must be a string, not a number"},
        {"text that does not parse",
         [](const TScratch& s) {
             s.Write("product/config.json", Document(With("BigTitle", "\"unterminated")));
         },
         "config.json:4: error: the settings cannot be read"},
        {"settings that are not UTF-8",
         [](const TScratch& s) {
             s.Write("product/config.json", Document(With("Title", "\"\xD6\xD0\xCE\xC4\"")));
         },
         "error: the settings cannot be decoded: it is not UTF-8 and has no byte-order mark"},
        {"an installation folder that is not one folder",
         [](const TScratch& s) {
             s.Write("product/config.json", Document(With("ProgramDirName", "\"..\\\\Windows\"")));
         },
         "config.json:11: error: ProgramDirName must be one folder name"},
        {"a broken PNG",
         [](const TScratch& s) {
             s.Write("product/branding/logo.png", Picture("logo").substr(0, 300));
         },
         "logo.png: error: the picture logo is not a valid PNG:"},
        {"a missing main program",
         [](const TScratch& s) {
             std::filesystem::remove(s.Root() / "product" / "payload" / "bin" / "Tool.exe");
         },
         "payload: error: the main program bin/Tool.exe (MainProgPath + MainProg of the "
         "settings) is not in the payload folder"},
        {"a main program folder without its separator",
         [](const TScratch& s) {
             s.Write("product/config.json", Document(With("MainProgPath", "\"bin\"")));
         },
         "MainProgPath must end with"},
        {"a missing payload folder",
         [](const TScratch& s) { std::filesystem::remove_all(s.Root() / "product" / "payload"); },
         "payload: error: the payload folder does not exist"},
#ifndef _WIN32
        // Names only another system can hold: on Windows the test cannot make them.
        {"a name Windows cannot hold",
         [](const TScratch& s) { s.Write("product/payload/a:b.txt", "x"); },
         "a:b.txt: error: the name holds \":\""},
        {"two names Windows takes for one",
         [](const TScratch& s) {
             s.Write("product/payload/Read.me", "1");
             s.Write("product/payload/READ.ME", "2");
         },
         "error: Windows does not tell it apart from"},
        {"a port name with a superscript digit",
         [](const TScratch& s) { s.Write("product/payload/bin/Com\xC2\xB2.log", "x"); },
         "Com\xC2\xB2.log: error: the name is a device name on Windows (COM\xC2\xB2)"},
#endif
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(scratch.Root());
        SetUp();
        c.spoil(scratch);
        std::string errors;
        EXPECT_EQ(packexit::kBadInput, Pack(errors));
        EXPECT_EQ(1u, Count(errors, ": error: ")) << errors;
        EXPECT_NE(std::string::npos, errors.find(c.message)) << errors;
        EXPECT_NE(std::string::npos, errors.find("1 error; nothing was written")) << errors;
        EXPECT_TRUE(std::filesystem::is_empty(output.parent_path())) << "output left behind";
    }
}

TEST(WindowsNameTest, DeviceNamesInEveryFormAreRefused) {
    const std::pair<const char*, bool> cases[] = {
        {"CON", true},
        {"nul.txt", true},
        {"Aux .log", true},
        {"COM1", true},
        {"lpt9.tar.gz", true},
        // The ports with a superscript 1, 2 or 3 (U+00B9, U+00B2, U+00B3).
        {"COM\xC2\xB9", true},
        {"com\xC2\xB2.txt", true},
        {"Com\xC2\xB3 .x", true},
        {"LPT\xC2\xB9.dat", true},
        {"lpt\xC2\xB2", true},
        {"LpT\xC2\xB3.a.b", true},
        // Ordinary names: another digit or superscript, more after the port, a longer stem.
        {"COM", false},
        {"COM10", false},
        {"COM\xE2\x81\xB4", false}, // superscript 4
        {"COM\xC2\xB9\xC2\xB9", false},
        {"COM\xC2\xB9x.txt", false},
        {"LPT\xC2\xB0", false}, // degree sign
        {"xCOM\xC2\xB9", false},
        {"console.txt", false},
    };
    for (const auto& [name, device] : cases) {
        const std::string problem = WindowsNameProblem(name);
        EXPECT_EQ(device, problem.find("device name") != std::string::npos)
            << name << ": " << problem;
        if (!device) {
            EXPECT_EQ("", problem) << name;
        }
    }
}

TEST_F(ValidationTest, UnknownKeysAndOddPictureSizesOnlyWarn) {
    auto members = kGoodSettings;
    members.emplace_back("title", "\"typo\"");
    members.emplace_back("Colour", "\"red\"");
    scratch.Write("product/config.json", Document(members));
    scratch.Write("product/branding/bgpic.png", Picture("logo"));
    std::string errors;
    EXPECT_EQ(packexit::kSuccess, Pack(errors));
    EXPECT_NE(
        std::string::npos,
        errors.find("config.json:14: warning: unknown key \"title\": did you mean \"Title\"?"))
        << errors;
    EXPECT_NE(std::string::npos, errors.find("config.json:15: warning: unknown key \"Colour\""))
        << errors;
    EXPECT_NE(
        std::string::npos,
        errors.find("warning: the picture bgpic is 96 x 96; the window shows it at 600 x 400"))
        << errors;
    EXPECT_EQ(0u, Count(errors, "error:"));
    EXPECT_TRUE(std::filesystem::exists(output));
}

// A grey picture of `width` x `height` pixels, each row a filter byte and zeros.
std::string GreyPng(std::uint32_t width, std::uint32_t height) {
    const auto big32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        const std::string body = type + data;
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
        return big32(static_cast<std::uint32_t>(data.size())) + body + big32(crc);
    };
    const std::string raw(std::size_t{height} * (width + 1), '\0');
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
    packed.resize(size);
    const std::string header = big32(width) + big32(height) + std::string("\x08\0\0\0\0", 5);
    return std::string("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) + chunk("IDAT", packed) +
           chunk("IEND", "");
}

TEST_F(ValidationTest, DoubleResolutionPicturesAreEmbeddedBesideTheirPictures) {
    // bgpic@2x at twice bgpic's size; logo@2x at the wrong size; btninst01@2x with no
    // btninst01 to double.
    scratch.Write("product/branding/bgpic@2x.png", GreyPng(1200, 800));
    scratch.Write("product/branding/logo@2x.png", GreyPng(100, 100));
    scratch.Write("product/branding/btninst01@2x.png", GreyPng(330, 90));
    std::string errors;
    ASSERT_EQ(packexit::kSuccess, Pack(errors)) << errors;
    EXPECT_EQ(std::string::npos, errors.find("bgpic@2x")) << errors;
    EXPECT_NE(std::string::npos,
              errors.find("warning: the picture logo@2x is 100 x 100; the window shows it at "
                          "192 x 192"))
        << errors;
    EXPECT_NE(std::string::npos, errors.find("warning: the picture btninst01@2x is left out: "
                                             "there is no btninst01.png for it to double"))
        << errors;

    testing::internal::CaptureStdout();
    EXPECT_EQ(packexit::kSuccess, RunPacker({"packer", "verify", PathToUtf8(output)}));
    const std::string listing = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, listing.find("picture bgpic: PNG 600 x 400")) << listing;
    EXPECT_NE(std::string::npos, listing.find("picture bgpic@2x: PNG 1200 x 800")) << listing;
    EXPECT_NE(std::string::npos, listing.find("picture logo@2x: PNG 100 x 100")) << listing;
    EXPECT_EQ(std::string::npos, listing.find("btninst01")) << listing;
}

TEST(PngCheckTest, APictureTheWindowCannotTakeIsRefused) {
    EXPECT_TRUE(CheckPng(GreyPng(16384, 2)).Valid) << CheckPng(GreyPng(16384, 2)).Problem;
    for (const auto& [width, height] : {std::pair{16385u, 45u}, std::pair{2u, 16385u}}) {
        const TPngCheck check = CheckPng(GreyPng(width, height));
        EXPECT_FALSE(check.Valid) << width << " x " << height;
        EXPECT_NE(std::string::npos, check.Problem.find("16384 pixels")) << check.Problem;
    }
}

TEST(PngCheckTest, FindsTheDamageOfEachKind) {
    const std::string good = Picture("bgpic");
    ASSERT_TRUE(CheckPng(good).Valid) << CheckPng(good).Problem;
    EXPECT_EQ(600u, CheckPng(good).Width);
    std::string badCrc = good;
    badCrc[40] ^= 0x55; // inside the first data chunk
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "signature"},
        {"GIF89a" + good.substr(6), "signature"},
        {good.substr(0, good.size() - 12), "no IEND"},
        {good.substr(0, good.size() / 2), "past the end"},
        {badCrc, "wrong CRC-32"},
    };
    for (const auto& [bytes, problem] : cases) {
        const TPngCheck check = CheckPng(bytes);
        EXPECT_FALSE(check.Valid);
        EXPECT_NE(std::string::npos, check.Problem.find(problem)) << check.Problem;
    }
}

} // namespace
