#pragma once
// The archive reader: reads an archive's directory and extracts its entries through an
// IZipHost. Portable: zlib's raw inflate and crc32 are its only library.

#include "archive/ZipFormat.h"
#include "archive/ZipHost.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

// What happens to a target file that already exists.
enum class TOverwriteMode { Prompt, Always, Never };

// How names without the UTF-8 flag are read: as OEM text when that is lossless, or as UTF-8.
enum class TOEMConvert { oemNever, oemFlexible };

class TZipReader {
public:
    // A reader over `host`, which must outlive it; settings at their defaults.
    explicit TZipReader(IZipHost& host);
    ~TZipReader();
    TZipReader(const TZipReader&) = delete;
    TZipReader& operator=(const TZipReader&) = delete;

    // The archive to read; discards any directory read before.
    void SetZipName(const std::wstring& path);
    // The extraction root; one trailing separator is removed.
    void SetDestDir(const std::wstring& path);
    const std::wstring& DestDir() const { return destDir_; }

    std::string Password;         // bytes of the password, for encrypted entries only
    bool DoAll = false;           // select every entry
    bool RecreateDirs = false;    // keep stored folders and process directory entries
    bool RetainAttributes = true; // apply the stored attribute word
    bool keepSilent = false;      // answer every question with Yes
    TOverwriteMode OverwriteMode = TOverwriteMode::Prompt;
    bool ReplaceReadOnly = false; // clear a read-only target's attribute before replacing it
    bool DoProcessMessages = true;
    TOEMConvert OEMConvert = TOEMConvert::oemFlexible;
    // Asked "Replace existing file <name>?" in Prompt mode without keepSilent; no handler
    // means Yes.
    std::function<bool(const std::wstring& question)> OnConfirmOverwrite;

    // Reads the archive's directory. An archive without an end record leaves the list empty
    // (UnZip then fails); throws EInstallerError "Cannot open file ..." or "Not a valid zip
    // file!" when neither the central directory nor the local headers give an entry.
    void ReadZip();
    // Extracts the selected entries into DestDir, reading the directory again if needed;
    // returns how many entries succeeded. Throws EInstallerError with "Incomplete Zip File",
    // "Premature end of file reached", "error" (corrupt deflate data) or "Cant write
    // uncompressed file"; every other failure only skips its entry. Unless it is to ask before
    // replacing files, it extracts as many files at once as the host allows: the outcome is
    // the one of extracting them one after the other, except that when an entry throws, the
    // entries after it already being written by then are extracted too.
    int UnZip();

    // How many entries ReadZip found.
    std::uint64_t EntryCount() const { return entryCount_; }
    // The entries, in the order of their data in the archive, read from the archive again
    // (the reader keeps no entry list of its own; see ForEachEntry).
    std::vector<TZipHeaderInfo> ListEntries();
    // The end record read by ReadZip.
    const TEndCentral& EndCentral() const { return end_; }
    // True when ReadZip had to rebuild the entry list from the local headers.
    bool UsedFallbackScan() const { return usedFallback_; }

private:
    struct TDecodeResult;
    using TEntryVisitor = std::function<void(const TZipHeaderInfo& entry, std::uint64_t record)>;
    // Where the entries come from once the directory has been read. The reader holds no
    // per-entry state for a central directory already in the order of the data (what every
    // common tool writes) or for the local-header scan: it walks the records again during
    // extraction, so its memory stays the same however many entries an archive has. Only a
    // directory out of order needs a small index (three numbers an entry) to be sorted.
    enum class TEntrySource { None, CentralInOrder, CentralIndexed, LocalScan };
    struct TEntryRef {
        std::uint32_t diskStart;
        std::uint64_t localHeaderOffset;
        std::uint64_t recordOffset;
    };
    void ReadDirectory(IZipInput& input);
    // Opens the archive and reads its directory unless the one read before is still current.
    std::unique_ptr<IZipInput> OpenWithDirectory();
    bool FindEndRecord(IZipInput& input);
    bool ReadCentralDirectory(IZipInput& input);
    void FallbackScan(IZipInput& input);
    // Calls `visit` for every central directory record in stored order; false when one
    // cannot be read. Names are decoded only when `decodeNames` is set.
    bool WalkCentralDirectory(IZipInput& input, bool decodeNames, const TEntryVisitor& visit);
    // Calls `visit` for every local header from the first one on; returns how many.
    std::uint64_t WalkLocalHeaders(IZipInput& input, bool decodeNames, const TEntryVisitor& visit);
    // Calls `visit` for every entry, names decoded, in the order of their data.
    void ForEachEntry(IZipInput& input, const TEntryVisitor& visit);
    // The working memory of one thread that extracts: its buffers and inflate state, and
    // whether it may pump messages (only the thread that called UnZip does).
    struct TEntryDecoder;
    struct TInflater;
    // Extracts the selected entries on several threads at once (see ConcurrentEntries).
    int UnZipConcurrently(IZipInput& input, unsigned threads);
    // Tells the host that `entry` is skipped, and why; returns false.
    bool Skipped(const TZipHeaderInfo& entry, const wchar_t* reason);
    class TExtractionPool;
    bool ExtractEntry(IZipInput& input, const TZipHeaderInfo& entry, TEntryDecoder& decoder);
    bool ExtractFile(IZipInput& input, const TZipHeaderInfo& entry, const std::wstring& path,
                     TEntryDecoder& decoder);
    TDecodeResult Decompress(IZipInput& input, const TZipHeaderInfo& entry, std::uint64_t dataStart,
                             std::uint64_t dataSize, class TZipCryptoKeys* keys, IZipOutput& output,
                             TEntryDecoder& decoder);
    // Whether an existing target may be put to OnConfirmOverwrite (or kept without a word).
    bool MayAskBeforeReplacing() const;
    // Safe from several threads at once.
    bool EnsureDirectory(const std::wstring& path);
    void Pump();

    IZipHost& host_;
    std::wstring zipName_;
    std::wstring destDir_;
    TEntrySource source_ = TEntrySource::None;
    std::uint64_t entryCount_ = 0;
    std::vector<TEntryRef> refs_;        // only for a central directory out of order
    std::uint64_t firstLocalHeader_ = 0; // where the local-header scan starts
    TEndCentral end_;
    bool directoryRead_ = false;
    bool incomplete_ = false;
    bool usedFallback_ = false;
    std::uint64_t stamp_ = 0;
    // Folders made or found during the current UnZip, so that each file's folder is not
    // looked up again for every file in it; guarded by dirsLock_, held while a folder is made
    // so that two threads never make the same one.
    std::unordered_set<std::wstring> knownDirs_;
    std::mutex dirsLock_;
    // Reused for every entry, so memory does not grow with the archive; left uninitialised,
    // since every byte is written before it is read.
    struct TByteBuffer {
        explicit TByteBuffer(std::size_t n) : bytes(new unsigned char[n]), length(n) {}
        unsigned char* data() const { return bytes.get(); }
        std::size_t size() const { return length; }
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t length;
    };
    TByteBuffer dirBuffer_; // directory records, large enough for the longest name and extra
    std::unique_ptr<TEntryDecoder> decoder_; // the calling thread's
};
