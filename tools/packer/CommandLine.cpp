#include "tools/packer/CommandLine.h"

#include "tools/packer/ExitCodes.h"
#include "tools/packer/Inspect.h"
#include "tools/packer/PackRequest.h"
#include "tools/packer/Packer.h"
#include "tools/packer/PathText.h"
#include "tools/packer/Platform.h"

#include <CLI/CLI.hpp>

#include <map>

namespace fs = std::filesystem;

namespace {

constexpr const char* kDescription = R"(Packs a product into a one-click setup.exe.

  packer pack PRODUCT -o setup.exe
      PRODUCT is a folder with conventional names: config.json (the settings), payload/ (the
      files to install) and, each optional, branding/bgpic.png, branding/logo.png,
      branding/btninst01.png, branding/btninst02.png and branding/btninst03.png.
  packer pack --settings config.json --payload DIR [--logo logo.png ...] -o setup.exe
      The same with every input named; an option also overrides a file of PRODUCT.
  packer pack ... --loose -o FOLDER
      Writes setup.exe (with the pictures), config.dat and app.data side by side instead.
  packer list setup.exe       what a setup.exe carries
  packer verify setup.exe     the same, checked: every archive entry's CRC-32, the settings,
                              the pictures and the PE checksum

Nothing is written unless every input is valid. The stub is the bare setup.exe beside the
packer unless --stub names another. Sign the result after packing.)";

constexpr const char* kExitCodes = R"(
Exit codes: 0 success, 1 bad input (nothing written), 2 a read or write failed (nothing
written), 3 verify found a fault.)";

struct TArguments {
    std::string product, settings, payload, stub, output;
    std::map<std::string, std::string> pictures;
    bool loose = false, quiet = false;
    int level = 6;
    unsigned jobs = 0, codePage = 0;
    std::string inspected;
};

// Fills the request from the product folder's conventional names and the options given.
bool MakeRequest(const TArguments& a, TPackRequest& request) {
    const fs::path product = PathFromUtf8(a.product);
    auto pick = [&](const std::string& given, const char* conventional) {
        if (!given.empty())
            return PathFromUtf8(given);
        return a.product.empty() ? fs::path() : product / conventional;
    };
    request.Settings = pick(a.settings, "config.json");
    request.Payload = pick(a.payload, "payload");
    if (request.Settings.empty() || request.Payload.empty()) {
        WriteText(stderr, "packer: name a product folder, or both --settings and --payload\n");
        return false;
    }
    for (const char* name : package::kPictureNames) {
        const auto given = a.pictures.find(name);
        if (given != a.pictures.end() && !given->second.empty()) {
            request.Pictures.emplace_back(name, PathFromUtf8(given->second));
        } else if (!a.product.empty()) {
            const fs::path conventional = product / "branding" / (std::string(name) + ".png");
            std::error_code error;
            if (fs::exists(conventional, error))
                request.Pictures.emplace_back(name, conventional);
        }
    }
    // The double-resolution versions come from the product folder only, beside their pictures.
    if (!a.product.empty())
        for (const char* name : package::kPictureNames) {
            const std::string doubled = std::string(name) + package::kDoubleResolutionSuffix;
            const fs::path conventional = product / "branding" / (doubled + ".png");
            std::error_code error;
            if (fs::exists(conventional, error))
                request.Pictures.emplace_back(doubled, conventional);
        }
    request.Stub =
        a.stub.empty() ? OwnExecutablePath().parent_path() / "setup.exe" : PathFromUtf8(a.stub);
    request.Output = PathFromUtf8(a.output);
    request.Loose = a.loose;
    request.Level = a.level;
    request.Threads = a.jobs;
    request.SettingsCodePage = a.codePage;
    request.Quiet = a.quiet;
    return true;
}

} // namespace

int RunPacker(const std::vector<std::string>& arguments) {
    CLI::App app(kDescription, "packer");
    app.footer(kExitCodes);
    app.require_subcommand(1);
    TArguments a;

    CLI::App* pack = app.add_subcommand("pack", "pack a product into a setup.exe");
    pack->add_option("product", a.product, "product folder with conventional names");
    pack->add_option("--settings", a.settings, "the settings document (JSON)");
    pack->add_option("--payload", a.payload, "the folder of the files to install");
    for (const char* name : package::kPictureNames)
        pack->add_option(std::string("--") + name, a.pictures[name],
                         std::string("PNG picture for the resource ") + name);
    pack->add_option("--stub", a.stub, "the bare installer (default: setup.exe beside packer)");
    pack->add_option("-o,--output", a.output, "the setup.exe to write (with --loose: a folder)")
        ->required();
    pack->add_flag("--loose", a.loose, "write setup.exe, config.dat and app.data side by side");
    pack->add_option("--level", a.level, "deflate level, 0 (store) to 9 (default 6)")
        ->check(CLI::Range(0, 9));
    pack->add_option("-j,--jobs", a.jobs, "compressing threads (default: one per core)");
    pack->add_option("--settings-codepage", a.codePage,
                     "code page of a settings file that is neither UTF-8 nor marked (936: GBK)");
    pack->add_flag("-q,--quiet", a.quiet, "print only warnings and errors");

    CLI::App* list = app.add_subcommand("list", "list what a setup.exe carries");
    list->add_option("setup", a.inspected, "the setup.exe")->required();
    CLI::App* verify = app.add_subcommand("verify", "check what a setup.exe carries");
    verify->add_option("setup", a.inspected, "the setup.exe")->required();

    try {
        // CLI11 takes the arguments after the program's name, last first.
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        if (!reversed.empty())
            reversed.pop_back();
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        WriteText(stdout, app.help());
        return packexit::kSuccess;
    } catch (const CLI::ParseError& e) {
        WriteText(stderr, std::string("packer: ") + e.what() + "\nRun packer --help for usage.\n");
        return packexit::kBadInput;
    }

    if (list->parsed())
        return RunInspect(PathFromUtf8(a.inspected), false);
    if (verify->parsed())
        return RunInspect(PathFromUtf8(a.inspected), true);
    TPackRequest request;
    if (!MakeRequest(a, request))
        return packexit::kBadInput;
    return RunPack(request);
}
