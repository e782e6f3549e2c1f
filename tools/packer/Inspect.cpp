#include "tools/packer/Inspect.h"
#include "install/Package.h"

#include "archive/ZipReader.h"
#include "sys/Error.h"
#include "sys/TextEncoding.h"
#include "tools/packer/BinaryFile.h"
#include "tools/packer/ExitCodes.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PackRequest.h"
#include "tools/packer/PathText.h"
#include "tools/packer/PayloadScan.h"
#include "tools/packer/PeImage.h"
#include "tools/packer/Platform.h"
#include "tools/packer/PngCheck.h"
#include "tools/packer/Progress.h"
#include "tools/packer/ResourceTree.h"
#include "tools/packer/SettingsCheck.h"
#include "tools/packer/SetupImage.h"
#include "tools/packer/VerifyZipHost.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace fs = std::filesystem;

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// "name  size bytes, deflated to n bytes, CRC 1234ABCD" for a file; the name for a folder.
std::string EntryLine(const TZipHeaderInfo& e) {
    std::string line = EncodeUtf8(e.directory + e.fileName);
    if (e.IsDirectory())
        return line;
    line += "  " + std::to_string(e.uncompressedSize) + " bytes, ";
    if (e.compressionMethod == zipformat::kMethodDeflated)
        line += "deflated to " + std::to_string(e.compressedSize) + " bytes, ";
    else
        line += "stored, ";
    return line + "CRC " + Hex(e.crc32);
}

// The name of the first entry whose local header lies inside the data of the entry before it
// in the archive, or nullopt. A writer never overlaps entries; overlapping ones let a small
// archive expand to any size, one entry's data extracted again for each header inside it.
std::optional<std::wstring> OverlappingEntry(std::vector<TZipHeaderInfo> entries) {
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.localHeaderOffset < b.localHeaderOffset;
    });
    constexpr std::uint64_t kLocalHeader = 30; // before its name, extra field and data
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const std::uint64_t gap = entries[i].localHeaderOffset - entries[i - 1].localHeaderOffset;
        if (gap < kLocalHeader || gap - kLocalHeader < entries[i - 1].compressedSize)
            return entries[i].directory + entries[i].fileName;
    }
    return std::nullopt;
}

class TInspection {
public:
    TInspection(const std::string& label, bool verify, const TInspectIo& io)
        : label_(label), verify_(verify), io_(io) {}

    int Run(std::string bytes) {
        std::optional<TPeImage> image;
        std::vector<TResource> resources;
        try {
            image.emplace(std::move(bytes), label_);
            resources = ReadResources(*image);
        } catch (const EPackError& e) {
            if (e.Kind() == TPackFailure::IoFailure)
                throw;
            Problem(e.what());
            return Finish();
        }
        Say(label_ + ": " + FormatBytes(image->Bytes().size()));
        Checksum(*image);
        Say("resources:");
        for (const TResource& r : resources)
            Say("  " + r.Type.Describe(true) + " / " + r.Name.Describe(false) + " (language " +
                std::to_string(r.Language) + "): " + FormatBytes(r.Data.size()));
        Settings(resources);
        Pictures(resources);
        Archive(resources);
        return Finish();
    }

private:
    void Say(const std::string& line) { io_.Report(line); }

    void Problem(const std::string& text) {
        io_.Notice("packer: " + label_ + ": " + text);
        ++problems_;
    }

    int Finish() {
        if (!verify_)
            return problems_ == 0 ? packexit::kSuccess : packexit::kDamaged;
        if (problems_ == 0) {
            Say("verified: no fault found");
            return packexit::kSuccess;
        }
        Say("verify: " + std::to_string(problems_) + (problems_ == 1 ? " fault" : " faults"));
        return packexit::kDamaged;
    }

    const TResource* Find(const std::vector<TResource>& resources, const std::string& name) {
        const TResourceId type = ProductResourceType();
        const TResourceId id = TResourceId::Named(name);
        for (const TResource& r : resources)
            if (r.Type == type && r.Name == id)
                return &r;
        return nullptr;
    }

    // The data of a resource, or of the file beside the program that stands in for it.
    std::optional<std::string> DataOf(const std::vector<TResource>& resources,
                                      const std::string& name, const char* looseName,
                                      std::string& source) {
        if (const TResource* r = Find(resources, name)) {
            source = "resource " + name;
            return r->Data;
        }
        std::optional<TLooseFile> beside = io_.Beside(looseName);
        if (!beside)
            return std::nullopt;
        source = std::move(beside->Label);
        return std::move(beside->Bytes);
    }

    void Checksum(const TPeImage& image) {
        const std::uint32_t stored = image.StoredChecksum();
        const std::uint32_t computed = PeChecksum(image.Bytes(), image.ChecksumOffset());
        if (stored == computed)
            Say("PE checksum: " + Hex(stored) + ", correct");
        else if (stored == 0)
            Say("PE checksum: not set");
        else
            Problem("the PE checksum is " + Hex(stored) + " but should be " + Hex(computed));
    }

    void Settings(const std::vector<TResource>& resources) {
        std::string source;
        const std::optional<std::string> bytes =
            DataOf(resources, package::kSettingsResource, package::kLooseSettingsFile, source);
        if (!bytes) {
            Problem(std::string("it carries no settings (no resource ") +
                    package::kSettingsResource + ", no " + package::kLooseSettingsFile +
                    " beside it)");
            return;
        }
        TDiagnostics diagnostics;
        if (CheckSettings(*bytes, source, 0, diagnostics, settings_.emplace())) {
            const TInstallerSettings& s = settings_->Settings;
            Say("settings (" + source + "): \"" + EncodeUtf8(s.FTitle) + "\" version " +
                EncodeUtf8(s.FVersion) + ", installs into " + EncodeUtf8(s.FProgramDirName) +
                ", main program " + MainProgramEntry(s));
        } else {
            settings_.reset();
        }
        for (const TDiagnostic& d : diagnostics.All()) {
            if (d.Severity == TSeverity::Error)
                Problem(FormatDiagnostic(d));
            else
                io_.Notice(FormatDiagnostic(d));
        }
    }

    void Pictures(const std::vector<TResource>& resources) {
        for (const char* base : package::kPictureNames)
            for (const std::string& name :
                 {std::string(base), base + std::string(package::kDoubleResolutionSuffix)}) {
                const TResource* r = Find(resources, FoldCase(name));
                if (r == nullptr)
                    continue;
                const TPngCheck png = CheckPng(r->Data);
                if (png.Valid)
                    Say("picture " + name + ": PNG " + std::to_string(png.Width) + " x " +
                        std::to_string(png.Height));
                else
                    Problem("the picture " + name + " is not a valid PNG: " + png.Problem);
            }
    }

    void Archive(const std::vector<TResource>& resources) {
        std::string source;
        const std::optional<std::string> bytes =
            DataOf(resources, package::kArchiveResource, package::kLooseArchiveFile, source);
        if (!bytes) {
            Problem(std::string("it carries no archive (no resource ") + package::kArchiveResource +
                    ", no " + package::kLooseArchiveFile + " beside it)");
            return;
        }
        TVerifyZipHost host(*bytes);
        TZipReader reader(host);
        const std::wstring root = L"V:\\verify";
        try {
            reader.SetZipName(L"V:\\archive.zip");
            reader.ReadZip();
            const std::vector<TZipHeaderInfo> entries = reader.ListEntries();
            std::uint64_t files = 0, size = 0;
            bool mainFound = false;
            const std::string main =
                settings_ ? FoldCase(MainProgramEntry(settings_->Settings)) : "";
            for (const TZipHeaderInfo& e : entries) {
                std::string name = EncodeUtf8(e.directory + e.fileName);
                if (!verify_)
                    Say("  " + EntryLine(e));
                if (e.IsDirectory())
                    continue;
                ++files;
                size += e.uncompressedSize;
                std::replace(name.begin(), name.end(), '\\', '/');
                mainFound = mainFound || FoldCase(name) == main;
            }
            Say("archive (" + source + "): " + std::to_string(entries.size()) + " entries, " +
                std::to_string(files) + " files, " + FormatBytes(size) + " in " +
                FormatBytes(bytes->size()));
            if (settings_ && !mainFound)
                Problem("the archive lacks the main program " +
                        MainProgramEntry(settings_->Settings));
            if (const auto inside = OverlappingEntry(entries)) {
                Problem("the archive entry " + EncodeUtf8(*inside) +
                        " lies inside the data of another: its entries overlap");
                return;
            }
            if (!verify_)
                return;
            reader.SetDestDir(root);
            reader.DoAll = true;
            reader.RecreateDirs = true;
            reader.keepSilent = true;
            reader.OverwriteMode = TOverwriteMode::Always;
            reader.UnZip();
            std::uint64_t checked = 0;
            for (const TZipHeaderInfo& e : entries) {
                if (e.IsDirectory())
                    continue;
                const auto found = host.Files().find(root + L"\\" + e.directory + e.fileName);
                const std::string name = EncodeUtf8(e.directory + e.fileName);
                if (found == host.Files().end() || !found->second.Finished)
                    Problem("the archive entry " + name + " cannot be extracted");
                else if (found->second.Size != e.uncompressedSize || found->second.Crc != e.crc32)
                    Problem("the archive entry " + name + " does not match its size or CRC-32");
                else
                    ++checked;
            }
            Say("archive: " + std::to_string(checked) + " of " + std::to_string(files) +
                " files extract with the right size and CRC-32");
        } catch (const EInstallerError& e) {
            Problem("the archive is damaged: " + EncodeUtf8(e.Message()));
        }
    }

    std::string label_;
    bool verify_;
    const TInspectIo& io_;
    std::size_t problems_ = 0;
    std::optional<TCheckedSettings> settings_;
};

} // namespace

int InspectImage(std::string image, const std::string& label, bool verify, const TInspectIo& io) {
    return TInspection(label, verify, io).Run(std::move(image));
}

int RunInspect(const fs::path& path, bool verify) {
    const std::string label = PathToUtf8(path);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        WriteText(stderr, "packer: " + label + " does not exist\n");
        return packexit::kBadInput;
    }
    TInspectIo io;
    io.Report = [](const std::string& line) { WriteText(stdout, line + "\n"); };
    io.Notice = [](const std::string& line) { WriteText(stderr, line + "\n"); };
    io.Beside = [&](const char* name) -> std::optional<TLooseFile> {
        const fs::path beside = path.parent_path() / name;
        std::error_code ignored;
        if (!fs::is_regular_file(beside, ignored))
            return std::nullopt;
        return TLooseFile{PathToUtf8(beside), ReadFileBytes(beside)};
    };
    try {
        return InspectImage(ReadFileBytes(path), label, verify, io);
    } catch (const EPackError& e) {
        WriteText(stderr, std::string("packer: ") + e.what() + "\n");
        return e.Kind() == TPackFailure::BadInput ? packexit::kBadInput : packexit::kIoFailure;
    }
}
