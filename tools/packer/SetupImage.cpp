#include "tools/packer/SetupImage.h"
#include "install/Package.h"

#include "tools/packer/BinaryFile.h"

TResourceId ProductResourceType() {
    return TResourceId::Named(package::kResourceType);
}

std::uint64_t WriteSetupImage(const TPeImage& stub, const std::vector<TResource>& added,
                              const std::filesystem::path& output) {
    std::vector<TResource> resources = ReadResources(stub);
    for (const TResource& resource : added)
        PutResource(resources, resource);
    const TResourceSectionLayout layout(std::move(resources));

    // A resource section that is the image's last is rebuilt in its place, so that packing a
    // packed program again does not grow it; otherwise (the linker puts .reloc after .rsrc)
    // the new one is appended and the old one is left unused.
    const TDataDirectory current = stub.Directory(pe::kDirectoryResource);
    const bool replaceLast = current.VirtualAddress != 0 &&
                             stub.Sections().back().VirtualAddress == current.VirtualAddress;
    TPeSection section;
    section.Name = ".rsrc";
    section.VirtualSize = layout.Size();
    section.Characteristics = pe::kSectionInitializedData | pe::kSectionMemoryRead;
    const std::string head = stub.WithSection(section, replaceLast, pe::kDirectoryResource);

    TOutputFile out(output);
    TPeChecksum checksum(stub.ChecksumOffset());
    auto write = [&](const void* data, std::size_t length) {
        checksum.Add(data, length);
        out.Write(data, length);
    };
    write(head.data(), head.size());
    layout.Write(section.VirtualAddress, write);
    const std::string padding(section.RawSize - layout.Size(), '\0');
    write(padding.data(), padding.size());

    const std::uint32_t sum = checksum.Finish();
    const unsigned char field[4] = {
        static_cast<unsigned char>(sum), static_cast<unsigned char>(sum >> 8),
        static_cast<unsigned char>(sum >> 16), static_cast<unsigned char>(sum >> 24)};
    const std::uint64_t size = out.Position();
    out.Seek(stub.ChecksumOffset());
    out.Write(field, sizeof field);
    out.Close(size);
    return size;
}
