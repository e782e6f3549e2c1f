// Extracting the entries: paths, the password check, inflating or copying each entry into
// its file with the CRC-32 computed on the way, and the per-entry outcome.
#include "archive/ZipReader.h"

#include "archive/ZipEntryDecoder.h"

#include "archive/ZipCrypto.h"
#include "archive/ZipNames.h"
#include "sys/Error.h"

#include <zlib.h>

#include <algorithm>

using namespace zipformat;

namespace {

// A directory record is at most 46 bytes plus a 64 KiB name and a 64 KiB extra field.
constexpr std::size_t kDirBufferSize = 192 * 1024;
// Deflate cannot expand data by more than this factor; no file is pre-sized beyond it.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
// Folders remembered at once during an extraction.
constexpr std::size_t kMaxKnownDirs = 1024;

[[noreturn]] void ThrowPrematureEnd() {
    throw EInstallerError(L"Premature end of file reached");
}
[[noreturn]] void ThrowInflateError() {
    throw EInstallerError(L"error");
}
[[noreturn]] void ThrowWriteError() {
    throw EInstallerError(L"Cant write uncompressed file");
}

std::wstring StripTrailingSeparator(const std::wstring& path) {
    if (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        return path.substr(0, path.size() - 1);
    return path;
}

} // namespace

TZipReader::TInflater::TInflater() {
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        ThrowInflateError();
}

TZipReader::TInflater::~TInflater() {
    inflateEnd(&stream);
}

struct TZipReader::TDecodeResult {
    bool reachedEnd = true; // false when the output would have exceeded the declared size
    std::uint32_t crc = 0;
};

TZipReader::TZipReader(IZipHost& host)
    : host_(host), dirBuffer_(kDirBufferSize), decoder_(std::make_unique<TEntryDecoder>(true)) {}

TZipReader::~TZipReader() = default;

void TZipReader::SetZipName(const std::wstring& path) {
    zipName_ = path;
    source_ = TEntrySource::None;
    entryCount_ = 0;
    refs_.clear();
    end_ = TEndCentral{};
    directoryRead_ = false;
    incomplete_ = false;
    usedFallback_ = false;
}

void TZipReader::SetDestDir(const std::wstring& path) {
    destDir_ = StripTrailingSeparator(path);
}

void TZipReader::Pump() {
    if (DoProcessMessages)
        host_.ProcessMessages();
}

void TZipReader::ReadZip() {
    const std::unique_ptr<IZipInput> input = host_.OpenArchive(zipName_);
    ReadDirectory(*input);
}

std::unique_ptr<IZipInput> TZipReader::OpenWithDirectory() {
    std::unique_ptr<IZipInput> input = host_.OpenArchive(zipName_);
    if (!directoryRead_ || input->Stamp() != stamp_)
        ReadDirectory(*input); // never read, or the archive changed since
    return input;
}

int TZipReader::UnZip() {
    const std::unique_ptr<IZipInput> input = OpenWithDirectory();
    if (incomplete_)
        throw EInstallerError(L"Incomplete Zip File");
    knownDirs_.clear();
    if (!destDir_.empty())
        EnsureDirectory(destDir_);

    // Asking before replacing a file needs the entries one after the other.
    const unsigned threads = MayAskBeforeReplacing() ? 1 : host_.ConcurrentEntries();
    int succeeded = 0;
    if (threads > 1) {
        succeeded = UnZipConcurrently(*input, threads);
    } else {
        ForEachEntry(*input, [&](const TZipHeaderInfo& entry, std::uint64_t) {
            if (DoAll && (!entry.IsDirectory() || RecreateDirs) &&
                ExtractEntry(*input, entry, *decoder_))
                ++succeeded;
        });
    }
    knownDirs_.clear();
    return succeeded;
}

std::vector<TZipHeaderInfo> TZipReader::ListEntries() {
    const std::unique_ptr<IZipInput> input = OpenWithDirectory();
    std::vector<TZipHeaderInfo> entries;
    ForEachEntry(*input,
                 [&](const TZipHeaderInfo& entry, std::uint64_t) { entries.push_back(entry); });
    return entries;
}

bool TZipReader::MayAskBeforeReplacing() const {
    return !(OverwriteMode == TOverwriteMode::Always ||
             (OverwriteMode == TOverwriteMode::Prompt && keepSilent));
}

bool TZipReader::EnsureDirectory(const std::wstring& path) {
    const std::lock_guard<std::mutex> guard(dirsLock_);
    if (knownDirs_.contains(path))
        return true;
    if (!host_.DirectoryExists(path) && !host_.CreateDirectories(path))
        return false;
    // Bounded, so that an archive of many folders does not make it grow without end.
    if (knownDirs_.size() >= kMaxKnownDirs)
        knownDirs_.clear();
    knownDirs_.insert(path);
    return true;
}

bool TZipReader::Skipped(const TZipHeaderInfo& entry, const wchar_t* reason) {
    host_.EntrySkipped(entry.directory + entry.fileName, reason);
    return false;
}

bool TZipReader::ExtractEntry(IZipInput& input, const TZipHeaderInfo& entry,
                              TEntryDecoder& decoder) {
    // Nothing may land outside the root, whatever the stored name says.
    if (!IsSafeEntryName(entry.directory, entry.fileName))
        return Skipped(entry, L"its name leads outside the folder or is not allowed");
    const std::wstring directory = destDir_ + L"\\" + (RecreateDirs ? entry.directory : L"");
    if (entry.IsDirectory()) {
        const std::wstring path = StripTrailingSeparator(directory);
        if (!EnsureDirectory(path))
            return Skipped(entry, L"the folder cannot be created");
        if (RetainAttributes)
            host_.SetAttributes(path, entry.externalAttributes, true);
        return true;
    }
    return ExtractFile(input, entry, directory + entry.fileName, decoder);
}

bool TZipReader::ExtractFile(IZipInput& input, const TZipHeaderInfo& entry,
                             const std::wstring& path, TEntryDecoder& decoder) {
    // An entry the reader cannot decode leaves no file at all: a pre-sized, zero-filled file
    // would otherwise pass as extracted when its stored CRC-32 is 0.
    if (entry.IsAes() ||
        (entry.compressionMethod != kMethodStored && entry.compressionMethod != kMethodDeflated))
        return Skipped(entry, L"its compression method or encryption is not supported");

    unsigned char local[kLocalHeaderSize];
    if (input.ReadAt(entry.localHeaderOffset, local, sizeof local) != sizeof local)
        ThrowPrematureEnd();
    if (Get32(local) != kLocalHeaderSignature)
        return Skipped(entry, L"its data cannot be found in the archive");
    std::uint64_t dataStart =
        entry.localHeaderOffset + kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
    std::uint64_t dataSize = entry.compressedSize;

    std::unique_ptr<TZipCryptoKeys> keys;
    if (entry.IsTraditionallyEncrypted()) {
        unsigned char header[kEncryptionHeaderSize];
        if (input.ReadAt(dataStart, header, sizeof header) != sizeof header)
            ThrowPrematureEnd();
        keys = std::make_unique<TZipCryptoKeys>(Password);
        const auto check = static_cast<unsigned char>(
            (entry.flags & kFlagDataDescriptor) != 0 ? entry.storedTime >> 8 : entry.crc32 >> 24);
        if (dataSize < kEncryptionHeaderSize || !CheckEncryptionHeader(*keys, header, check))
            return Skipped(entry, L"wrong password");
        dataStart += kEncryptionHeaderSize;
        dataSize -= kEncryptionHeaderSize;
    }

    const std::size_t cut = path.find_last_of(L'\\');
    const std::wstring parent = path.substr(0, cut);
    EnsureDirectory(parent);

    if ((MayAskBeforeReplacing() || ReplaceReadOnly) && host_.FileExists(path)) {
        if (OverwriteMode == TOverwriteMode::Never)
            return Skipped(entry, L"the file exists and is not replaced");
        if (OverwriteMode == TOverwriteMode::Prompt && !keepSilent && OnConfirmOverwrite &&
            !OnConfirmOverwrite(L"Replace existing file " + entry.directory + entry.fileName +
                                L"?"))
            return Skipped(entry, L"the file exists and is not replaced");
        if (ReplaceReadOnly)
            host_.ClearReadOnly(path);
    }

    const std::uint64_t possible =
        entry.compressionMethod == kMethodStored
            ? dataSize
            : (dataSize > UINT64_MAX / kMaxDeflateRatio ? UINT64_MAX : dataSize * kMaxDeflateRatio);
    std::unique_ptr<IZipOutput> output =
        host_.CreateOutput(path, std::min(entry.uncompressedSize, possible));
    if (!output)
        // read-only, in use or in the way: the old file stays
        return Skipped(entry, L"the file cannot be created");

    const TDecodeResult result =
        Decompress(input, entry, dataStart, dataSize, keys.get(), *output, decoder);
    // Data beyond the declared size means the entry is not what the directory says it is.
    if (!result.reachedEnd || (entry.crc32 != 0 && result.crc != entry.crc32)) {
        output.reset();
        host_.RemoveFile(path);
        return Skipped(entry, result.reachedEnd ? L"its CRC-32 does not match"
                                                : L"it holds more data than its size says");
    }
    if (!output->Finish(&entry.modified))
        return Skipped(entry, L"the file cannot be finished"); // the old file stays
    output.reset();
    if (RetainAttributes)
        host_.SetAttributes(path, entry.externalAttributes, false);
    return true;
}

TZipReader::TDecodeResult TZipReader::Decompress(IZipInput& input, const TZipHeaderInfo& entry,
                                                 std::uint64_t dataStart, std::uint64_t dataSize,
                                                 TZipCryptoKeys* keys, IZipOutput& output,
                                                 TEntryDecoder& decoder) {
    TDecodeResult result;
    std::uint64_t written = 0;
    std::uint64_t position = dataStart;
    std::uint64_t remaining = dataSize;

    // Reads the next block of compressed data into inBuffer; returns its length.
    TByteBuffer& inBuffer = decoder.in;
    TByteBuffer& outBuffer = decoder.out;
    auto readBlock = [&]() -> std::size_t {
        if (decoder.pumps)
            Pump();
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, inBuffer.size()));
        if (input.ReadAt(position, inBuffer.data(), length) != length)
            ThrowPrematureEnd();
        if (keys)
            keys->Decrypt(inBuffer.data(), length);
        position += length;
        remaining -= length;
        return length;
    };
    // Checks, hashes and writes one block of output; false at the size limit.
    auto emit = [&](const unsigned char* data, std::size_t length) {
        if (length == 0)
            return true;
        if (length > entry.uncompressedSize - written) {
            result.reachedEnd = false;
            return false;
        }
        result.crc = static_cast<std::uint32_t>(crc32(result.crc, data, static_cast<uInt>(length)));
        if (!output.Write(data, length))
            ThrowWriteError();
        written += length;
        return true;
    };

    if (entry.compressionMethod == kMethodStored) {
        while (remaining > 0) {
            const std::size_t length = readBlock();
            if (!emit(inBuffer.data(), length))
                break;
        }
        return result;
    }

    if (!decoder.inflater)
        decoder.inflater = std::make_unique<TInflater>();
    z_stream& zs = decoder.inflater->stream;
    if (inflateReset(&zs) != Z_OK)
        ThrowInflateError();
    zs.next_in = nullptr;
    zs.avail_in = 0;
    zs.next_out = outBuffer.data();
    zs.avail_out = static_cast<uInt>(outBuffer.size());
    auto flush = [&]() {
        const std::size_t length = outBuffer.size() - zs.avail_out;
        const bool ok = emit(outBuffer.data(), length);
        zs.next_out = outBuffer.data();
        zs.avail_out = static_cast<uInt>(outBuffer.size());
        return ok;
    };
    for (;;) {
        if (zs.avail_in == 0 && remaining > 0) {
            zs.avail_in = static_cast<uInt>(readBlock());
            zs.next_in = inBuffer.data();
        }
        const int status = inflate(&zs, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            flush();
            break;
        }
        if (status == Z_BUF_ERROR && zs.avail_in == 0 && remaining == 0) {
            // The stored compressed size ended the stream early; the CRC-32 decides.
            flush();
            break;
        }
        if (status != Z_OK && status != Z_BUF_ERROR)
            ThrowInflateError();
        if (zs.avail_out == 0 && !flush())
            break;
    }
    return result;
}
