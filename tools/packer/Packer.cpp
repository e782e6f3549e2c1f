#include "tools/packer/Packer.h"
#include "install/Package.h"

#include "tools/packer/BinaryFile.h"
#include "tools/packer/ExitCodes.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"
#include "tools/packer/Platform.h"
#include "tools/packer/ProductCheck.h"
#include "tools/packer/Progress.h"
#include "tools/packer/SetupImage.h"
#include "tools/packer/TemporaryFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace fs = std::filesystem;

namespace {

void Say(const std::string& line) {
    WriteText(stdout, line + "\n");
}

void Report(const TDiagnostics& diagnostics) {
    for (const TDiagnostic& d : diagnostics.All())
        WriteText(stderr, FormatDiagnostic(d) + "\n");
}

TResource FileResource(const std::string& name, std::string bytes) {
    TResource resource;
    resource.Type = ProductResourceType();
    resource.Name = TResourceId::Named(name);
    resource.Data = std::move(bytes);
    return resource;
}

std::string Percent(std::uint64_t part, std::uint64_t whole) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f %%", whole == 0 ? 100.0 : 100.0 * part / whole);
    return text;
}

int Pack(const TPackRequest& request) {
    const auto started = std::chrono::steady_clock::now();
    TDiagnostics diagnostics;
    TCheckedProduct product;
    const bool ok = CheckProduct(request, diagnostics, product);
    Report(diagnostics);
    if (!ok) {
        WriteText(stderr, "packer: " + std::to_string(diagnostics.ErrorCount()) +
                              (diagnostics.ErrorCount() == 1 ? " error" : " errors") +
                              "; nothing was written\n");
        return packexit::kBadInput;
    }

    const fs::path setupPath = request.Loose ? request.Output / "setup.exe" : request.Output;
    const fs::path archivePath = request.Loose ? request.Output / package::kLooseArchiveFile
                                               : request.Output.parent_path() / "app.zip";
    TTemporaryFile archive(archivePath);
    TTemporaryFile setup(setupPath);

    TZipWriteOptions options;
    options.Level = request.Level;
    options.Threads =
        request.Threads != 0 ? request.Threads : std::max(1u, std::thread::hardware_concurrency());
    TProgressDisplay progress(request.Quiet);
    options.OnProgress = [&progress](const TZipProgress& p) { progress.Show(p); };
    const TZipWriteResult zip = WriteZipArchive(product.Payload, archive.Path(), options);
    progress.Done();

    std::vector<TResource> resources;
    for (const auto& [name, bytes] : product.Pictures)
        resources.push_back(FileResource(name, bytes));
    std::unique_ptr<TTemporaryFile> config;
    if (request.Loose) {
        config = std::make_unique<TTemporaryFile>(request.Output / package::kLooseSettingsFile);
        TOutputFile out(config->Path());
        out.Write(product.Settings.ResourceBytes);
        out.Close(product.Settings.ResourceBytes.size());
    } else {
        resources.push_back(
            FileResource(package::kSettingsResource, product.Settings.ResourceBytes));
        TResource payload = FileResource(package::kArchiveResource, "");
        payload.File = archive.Path();
        payload.FileSize = zip.ArchiveSize;
        resources.push_back(std::move(payload));
    }
    const std::uint64_t setupSize = WriteSetupImage(*product.Stub, resources, setup.Path());

    setup.Commit();
    if (request.Loose) {
        config->Commit();
        archive.Commit();
    }

    if (request.Quiet)
        return packexit::kSuccess;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    Say("packed " + std::to_string(zip.Files) + " files and " + std::to_string(zip.Folders) +
        " folders: " + FormatBytes(zip.Uncompressed) + " into an archive of " +
        FormatBytes(zip.ArchiveSize) + " (" + Percent(zip.ArchiveSize, zip.Uncompressed) +
        ", level " + std::to_string(request.Level) + (zip.Zip64 ? ", ZIP64" : "") + ")");
    Say("pictures: " + std::to_string(product.Pictures.size()) + " of " +
        std::to_string(std::size(package::kPictureNames)) +
        "; settings: " + FormatBytes(product.Settings.ResourceBytes.size()) + " UTF-8");
    if (request.Loose)
        Say("wrote " + PathToUtf8(setupPath) + " (" + FormatBytes(setupSize) + "), " +
            package::kLooseSettingsFile + " and " + package::kLooseArchiveFile + " beside it");
    else
        Say("wrote " + PathToUtf8(setupPath) + " (" + FormatBytes(setupSize) + ")");
    Say("time: " + std::string(time) + " on " + std::to_string(options.Threads) +
        (options.Threads == 1 ? " thread" : " threads"));
    return packexit::kSuccess;
}

} // namespace

int RunPack(const TPackRequest& request) {
    try {
        return Pack(request);
    } catch (const EPackError& e) {
        WriteText(stderr, std::string("packer: ") + e.what() + "; nothing was written\n");
        return e.Kind() == TPackFailure::BadInput ? packexit::kBadInput : packexit::kIoFailure;
    } catch (const std::bad_alloc&) {
        WriteText(stderr, "packer: out of memory; nothing was written\n");
        return packexit::kIoFailure;
    }
}
