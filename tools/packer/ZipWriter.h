#pragma once
// Writes the payload archive: deflate at a chosen level over zlib (stored where deflate does
// not make an entry smaller), UTF-8 names with the UTF-8 flag, folder entries, DOS times and
// attributes, CRC-32, and ZIP64 records only where a size, an offset or the entry count needs
// them (PKWARE's APPNOTE). Files are compressed on all cores in blocks of 1 MiB, each primed
// with the 32 KiB before it, so that the result does not depend on the number of threads:
// the same entries always give the same bytes. Portable.

#include "tools/packer/PayloadEntry.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

struct TZipProgress {
    std::uint64_t FilesDone = 0;
    std::uint64_t FilesTotal = 0;
    std::uint64_t BytesDone = 0; // uncompressed bytes of the files written so far
    std::uint64_t BytesTotal = 0;
};

struct TZipWriteOptions {
    int Level = 6;        // zlib level 0 to 9; 0 stores every file
    unsigned Threads = 0; // compressing threads; 0 for one per core
    // Called on the writing thread after each block of data; may be empty.
    std::function<void(const TZipProgress&)> OnProgress;
};

struct TZipWriteResult {
    std::uint64_t Files = 0;
    std::uint64_t Folders = 0;
    std::uint64_t Uncompressed = 0; // bytes of all files
    std::uint64_t ArchiveSize = 0;  // bytes of the archive
    bool Zip64 = false;             // ZIP64 records were needed
};

// Writes `entries`, in their order, as a new archive at `output`. Throws EPackError
// (IoFailure) when a file cannot be read, changed size while it was read, or the archive
// cannot be written; the partial archive is then left for the caller to remove.
TZipWriteResult WriteZipArchive(const std::vector<TPayloadEntry>& entries,
                                const std::filesystem::path& output,
                                const TZipWriteOptions& options);
