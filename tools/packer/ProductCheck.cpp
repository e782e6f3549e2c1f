#include "tools/packer/ProductCheck.h"

#include "tools/packer/BinaryFile.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"
#include "tools/packer/PayloadScan.h"
#include "tools/packer/PngCheck.h"
#include "tools/packer/ResourceTree.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

bool IsInside(const fs::path& path, const fs::path& folder) {
    std::error_code error;
    const fs::path a = fs::weakly_canonical(path, error);
    const fs::path b = fs::weakly_canonical(folder, error);
    if (error)
        return false;
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai)
        if (ai == a.end() || *ai != *bi)
            return false;
    return true;
}

void CheckSettingsFile(const TPackRequest& request, TDiagnostics& diagnostics,
                       TCheckedProduct& product, bool& settingsOk) {
    const std::string label = PathToUtf8(request.Settings);
    std::error_code error;
    if (!fs::is_regular_file(request.Settings, error)) {
        diagnostics.Error(label, 0, "the settings file does not exist");
        return;
    }
    settingsOk = CheckSettings(ReadFileBytes(request.Settings), label, request.SettingsCodePage,
                               diagnostics, product.Settings);
}

void CheckPayload(const TPackRequest& request, TDiagnostics& diagnostics, TCheckedProduct& product,
                  bool settingsOk) {
    const std::string label = PathToUtf8(request.Payload);
    std::error_code error;
    if (!fs::is_directory(request.Payload, error)) {
        diagnostics.Error(label, 0, "the payload folder does not exist");
        return;
    }
    product.Payload = ScanPayload(request.Payload, label, diagnostics);
    if (!settingsOk)
        return;
    const TInstallerSettings& settings = product.Settings.Settings;
    const std::string main = MainProgramEntry(settings);
    const std::string folded = FoldCase(main);
    for (const TPayloadEntry& entry : product.Payload)
        if (!entry.IsDirectory() && FoldCase(entry.Name) == folded)
            return;
    std::string message = "the main program " + main +
                          " (MainProgPath + MainProg of the settings) is not in the payload folder";
    const std::wstring& folder = settings.FMainProgPath;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        message += "; MainProgPath must end with \"\\\\\" when it names a folder";
    diagnostics.Error(label, 0, message);
}

bool IsDoubleResolution(const std::string& name) {
    const std::string suffix = package::kDoubleResolutionSuffix;
    return name.size() > suffix.size() && name.ends_with(suffix);
}

std::string BaseName(const std::string& name) {
    return IsDoubleResolution(name)
               ? name.substr(0, name.size() - std::string(package::kDoubleResolutionSuffix).size())
               : name;
}

bool HasPicture(const TPackRequest& request, const std::string& name) {
    for (const auto& picture : request.Pictures)
        if (picture.first == name)
            return true;
    return false;
}

void CheckPictures(const TPackRequest& request, TDiagnostics& diagnostics,
                   TCheckedProduct& product) {
    for (const auto& [name, path] : request.Pictures) {
        const std::string label = PathToUtf8(path);
        std::error_code error;
        if (!fs::is_regular_file(path, error)) {
            diagnostics.Error(label, 0, "the picture " + name + " does not exist");
            continue;
        }
        std::string bytes = ReadFileBytes(path);
        const TPngCheck png = CheckPng(bytes);
        if (!png.Valid) {
            diagnostics.Error(label, 0,
                              "the picture " + name + " is not a valid PNG: " + png.Problem);
            continue;
        }
        const bool doubled = IsDoubleResolution(name);
        if (doubled && !HasPicture(request, BaseName(name))) {
            diagnostics.Warning(label, 0,
                                "the picture " + name + " is left out: there is no " +
                                    BaseName(name) + ".png for it to double");
            continue;
        }
        const TLayoutSize size = LayoutSizeOf(name);
        const bool widthOff = size.Width != 0 && png.Width != size.Width;
        const bool heightOff = size.Height != 0 && png.Height != size.Height;
        if (widthOff || heightOff) {
            const std::string expected =
                size.Width != 0 ? std::to_string(size.Width) + " x " + std::to_string(size.Height)
                                : std::to_string(size.Height) + " pixels high";
            diagnostics.Warning(label, 0,
                                "the picture " + name + " is " + std::to_string(png.Width) + " x " +
                                    std::to_string(png.Height) + "; the window shows it at " +
                                    expected);
        }
        product.Pictures.emplace_back(FoldCase(name), std::move(bytes));
    }
}

void CheckStub(const TPackRequest& request, TDiagnostics& diagnostics, TCheckedProduct& product) {
    const std::string label = PathToUtf8(request.Stub);
    std::error_code error;
    if (!fs::is_regular_file(request.Stub, error)) {
        diagnostics.Error(label, 0, "the installer stub does not exist (give it with --stub)");
        return;
    }
    try {
        product.Stub = std::make_unique<TPeImage>(ReadFileBytes(request.Stub), label);
        ReadResources(*product.Stub); // its resources are rewritten: they must be readable
    } catch (const EPackError& e) {
        if (e.Kind() != TPackFailure::BadInput)
            throw;
        product.Stub.reset();
        diagnostics.Error(label, 0, e.what());
    }
}

void CheckOutput(const TPackRequest& request, TDiagnostics& diagnostics) {
    const std::string label = PathToUtf8(request.Output);
    std::error_code error;
    const fs::path folder = request.Loose ? request.Output : request.Output.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error))
        diagnostics.Error(PathToUtf8(folder), 0, "the output folder does not exist");
    if (!request.Loose && fs::is_directory(request.Output, error))
        diagnostics.Error(label, 0, "the output is a folder; name the setup.exe to write");
    if (IsInside(request.Output, request.Payload))
        diagnostics.Error(label, 0, "the output lies inside the payload folder");
    if (!request.Loose && fs::exists(request.Stub, error) &&
        fs::equivalent(request.Output, request.Stub, error))
        diagnostics.Error(label, 0, "the output would overwrite the stub");
}

} // namespace

TLayoutSize LayoutSizeOf(const std::string& pictureName) {
    if (IsDoubleResolution(pictureName)) {
        const TLayoutSize base = LayoutSizeOf(BaseName(pictureName));
        return {base.Width * 2, base.Height * 2};
    }
    if (pictureName == package::kBackgroundPicture)
        return {600, 400};
    if (pictureName == package::kLogoPicture)
        return {96, 96};
    // The button pictures are stretched over buttons 165 to 175 pixels wide.
    return {0, 45};
}

bool CheckProduct(const TPackRequest& request, TDiagnostics& diagnostics,
                  TCheckedProduct& product) {
    bool settingsOk = false;
    CheckSettingsFile(request, diagnostics, product, settingsOk);
    CheckPayload(request, diagnostics, product, settingsOk);
    CheckPictures(request, diagnostics, product);
    CheckStub(request, diagnostics, product);
    CheckOutput(request, diagnostics);
    return !diagnostics.HasErrors();
}
