#include "sys/MyCommonFuns.h"

#include "sys/Error.h"
#include "sys/ProgramFile.h"
#include "sys/TextEncoding.h"
#include "sys/Win32CodePage.h"

#include <algorithm>
#include <cstdint>

namespace {

HMODULE ModuleOrSelf(HMODULE module) {
    return module ? module : GetModuleHandleW(nullptr);
}

// Where `size` bytes at `data`, inside the module's mapped image, lie in its program file; 0
// when the module is not mapped as an image (one loaded as a data file has its low bits set)
// or the bytes are not all in one section's file data.
std::uint64_t FileOffsetInImage(HMODULE module, const void* data, std::size_t size) {
    if ((reinterpret_cast<ULONG_PTR>(module) & 3) != 0)
        return 0;
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return 0;
    const std::uint64_t rva =
        static_cast<std::uint64_t>(static_cast<const unsigned char*>(data) - base);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (rva >= section->VirtualAddress &&
            rva + size <= std::uint64_t{section->VirtualAddress} + section->SizeOfRawData)
            return section->PointerToRawData + (rva - section->VirtualAddress);
    return 0;
}

} // namespace

std::string_view ResourceData(const std::wstring& name, const std::wstring& type, HMODULE module) {
    const HMODULE image = ModuleOrSelf(module);
    // FindResourceW upper-cases string names and types, so "zipfile" finds "ZIPFILE".
    const HRSRC info = FindResourceW(image, name.c_str(), type.c_str());
    const HGLOBAL loaded = info ? LoadResource(image, info) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        throw EInstallerError(L"Resource " + name + L" not found");
    return {static_cast<const char*>(data), SizeofResource(image, info)};
}

bool ResourceInProgramFile(const std::wstring& name, const std::wstring& type,
                           std::uint64_t& offset, std::uint64_t& size) {
    if (!ProgramFile() || !ResourceExists(name, type))
        return false;
    const std::string_view data = ResourceData(name, type);
    const std::uint64_t at = FileOffsetInImage(GetModuleHandleW(nullptr), data.data(), data.size());
    if (at == 0)
        return false;
    offset = at;
    size = data.size();
    return true;
}

bool ResourceExists(const std::wstring& name, const std::wstring& type, HMODULE module) {
    const HMODULE image = ModuleOrSelf(module);
    const HRSRC info = FindResourceW(image, name.c_str(), type.c_str());
    // Resource memory belongs to the mapped image; there is nothing to release.
    return info && LoadResource(image, info) != nullptr;
}

std::wstring LoadResourceText(const std::wstring& name, const std::wstring& type, HMODULE module) {
    return NormaliseLines(DecodeText(ResourceData(name, type, module), false, AnsiCodePage()));
}
