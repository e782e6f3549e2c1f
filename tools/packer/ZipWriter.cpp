#include "tools/packer/ZipWriter.h"

#include "tools/packer/BinaryFile.h"
#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"
#include "tools/packer/ZipRecords.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace {

// Block boundaries depend on nothing but the offsets, so the output is the same for any
// number of threads. Each block is primed with the window before it, which keeps the
// compression within a fraction of a percent of one stream over the whole file.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
constexpr std::size_t kWindowSize = std::size_t{1} << 15;

struct TBlockTask {
    std::size_t Entry = 0;
    std::uint64_t Offset = 0;
    std::size_t Length = 0;
    bool First = false;
    bool Last = false;
};

struct TBlockResult {
    std::string Raw;        // the block's bytes; kept when it may have to be stored
    std::string Compressed; // its deflate data (empty at level 0)
    std::uint32_t Crc = 0;
    std::string Error; // why the block could not be made; empty when it was
};

std::string ChangedMessage(const TPayloadEntry& entry) {
    return "the payload file " + PathToUtf8(entry.Source) + " changed while it was packed";
}

// One thread's deflate state, reused for every block it compresses.
class TDeflater {
public:
    explicit TDeflater(int level) : level_(level) {
        if (level_ > 0 &&
            deflateInit2(&stream_, level_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            ThrowIoFailure("zlib cannot start deflate");
    }
    ~TDeflater() {
        if (level_ > 0)
            deflateEnd(&stream_);
    }
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    // Deflates `data` after `dictionary`; ends the stream when `last`, else ends on a byte
    // boundary (sync flush) so that the next block's data can follow it directly.
    std::string Compress(const unsigned char* dictionary, std::size_t dictionaryLength,
                         const unsigned char* data, std::size_t length, bool last) {
        deflateReset(&stream_);
        if (dictionaryLength > 0)
            deflateSetDictionary(&stream_, dictionary, static_cast<uInt>(dictionaryLength));
        std::string out(deflateBound(&stream_, static_cast<uLong>(length)) + 16, '\0');
        stream_.next_in = const_cast<Bytef*>(data);
        stream_.avail_in = static_cast<uInt>(length);
        std::size_t produced = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            if (produced == out.size())
                out.resize(out.size() * 2);
            stream_.next_out = reinterpret_cast<Bytef*>(&out[produced]);
            stream_.avail_out = static_cast<uInt>(out.size() - produced);
            const int status = deflate(&stream_, flush);
            produced = out.size() - stream_.avail_out;
            if (status == Z_STREAM_END)
                break;
            if (status != Z_OK && status != Z_BUF_ERROR)
                ThrowIoFailure("zlib deflate failed");
            if (!last && stream_.avail_in == 0 && stream_.avail_out != 0)
                break;
        }
        out.resize(produced);
        return out;
    }

private:
    int level_;
    z_stream stream_{};
};

class TParallelZipWriter {
public:
    TParallelZipWriter(const std::vector<TPayloadEntry>& entries, const std::filesystem::path& path,
                       const TZipWriteOptions& options)
        : entries_(entries), path_(path), options_(options) {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const TPayloadEntry& entry = entries_[i];
            if (entry.IsDirectory())
                continue;
            progress_.FilesTotal++;
            progress_.BytesTotal += entry.Size;
            for (std::uint64_t offset = 0; offset < entry.Size; offset += kBlockSize) {
                TBlockTask task;
                task.Entry = i;
                task.Offset = offset;
                task.Length = static_cast<std::size_t>(
                    std::min<std::uint64_t>(kBlockSize, entry.Size - offset));
                task.First = offset == 0;
                task.Last = offset + task.Length == entry.Size;
                tasks_.push_back(task);
            }
        }
        threads_ = options_.Threads != 0 ? options_.Threads
                                         : std::max(1u, std::thread::hardware_concurrency());
        // Enough blocks in flight to keep every thread busy while the writer waits for the
        // oldest one; the memory stays a few MiB a thread.
        window_ = 4 * threads_ + 2;
        slots_.resize(window_);
    }

    TZipWriteResult Run() {
        std::vector<std::thread> workers;
        for (unsigned i = 0; i < threads_; ++i)
            workers.emplace_back([this] { Work(); });
        std::optional<EPackError> failure;
        try {
            WriteAll();
        } catch (const EPackError& e) {
            failure = e;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        spaceFree_.notify_all();
        for (std::thread& worker : workers)
            worker.join();
        if (failure)
            throw *failure;
        return result_;
    }

private:
    void Work() {
        std::unique_ptr<TDeflater> deflater;
        try {
            deflater = std::make_unique<TDeflater>(options_.Level);
        } catch (const EPackError&) {
        }
        for (;;) {
            std::size_t index;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                spaceFree_.wait(lock, [this] {
                    return stop_ || next_ >= tasks_.size() || next_ < consumed_ + window_;
                });
                if (stop_ || next_ >= tasks_.size())
                    return;
                index = next_++;
            }
            TBlockResult result;
            try {
                if (!deflater)
                    ThrowIoFailure("zlib cannot start deflate");
                result = MakeBlock(tasks_[index], *deflater);
            } catch (const EPackError& e) {
                result.Error = e.what();
            } catch (const std::bad_alloc&) {
                result.Error = "out of memory";
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slots_[index % window_] = std::move(result);
                ready_.insert(index);
            }
            blockReady_.notify_all();
        }
    }

    TBlockResult MakeBlock(const TBlockTask& task, TDeflater& deflater) {
        const TPayloadEntry& entry = entries_[task.Entry];
        TInputFile input(entry.Source);
        const bool compress = options_.Level > 0;
        const std::size_t before =
            compress ? static_cast<std::size_t>(std::min<std::uint64_t>(task.Offset, kWindowSize))
                     : 0;
        std::string buffer(before + task.Length, '\0');
        if (input.ReadAt(task.Offset - before, buffer.data(), buffer.size()) != buffer.size())
            ThrowIoFailure(ChangedMessage(entry));
        if (task.Last && input.HasDataAt(entry.Size))
            ThrowIoFailure(ChangedMessage(entry));
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        TBlockResult result;
        result.Crc =
            static_cast<std::uint32_t>(crc32(0, bytes + before, static_cast<uInt>(task.Length)));
        if (compress)
            result.Compressed =
                deflater.Compress(bytes, before, bytes + before, task.Length, task.Last);
        // A one-block file may turn out incompressible and be stored; at level 0 every
        // block is stored as it is.
        if (!compress || (task.First && task.Last))
            result.Raw = buffer.substr(before);
        return result;
    }

    // Waits for block `index` and takes it out of its slot.
    TBlockResult Take(std::size_t index) {
        TBlockResult result;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            blockReady_.wait(lock, [&] { return ready_.count(index) != 0; });
            ready_.erase(index);
            result = std::move(slots_[index % window_]);
            consumed_ = index + 1;
        }
        spaceFree_.notify_all();
        if (!result.Error.empty())
            ThrowIoFailure(result.Error);
        return result;
    }

    void WriteAll() {
        TOutputFile out(path_);
        std::vector<TZipRecordInfo> records;
        records.reserve(entries_.size());
        std::size_t task = 0;
        for (const TPayloadEntry& entry : entries_) {
            TZipRecordInfo info;
            info.Name = entry.Name;
            info.Modified = entry.Modified;
            info.Attributes = entry.Attributes;
            info.IsDirectory = entry.IsDirectory();
            info.UncompressedSize = entry.IsDirectory() ? 0 : entry.Size;
            info.LocalZip64 = info.UncompressedSize >= kZip32Limit;
            info.LocalHeaderOffset = out.Position();
            if (info.UncompressedSize == 0) {
                out.Write(LocalHeader(info));
            } else {
                WriteFile(out, entry, info, task);
                progress_.BytesDone += entry.Size;
            }
            if (!info.IsDirectory) {
                progress_.FilesDone++;
                result_.Files++;
                result_.Uncompressed += entry.Size;
                Report();
            } else {
                result_.Folders++;
            }
            result_.Zip64 = result_.Zip64 || info.LocalZip64 ||
                            info.LocalHeaderOffset >= kZip32Limit ||
                            info.CompressedSize >= kZip32Limit;
            records.push_back(std::move(info));
        }
        const std::uint64_t centralOffset = out.Position();
        for (const TZipRecordInfo& info : records)
            out.Write(CentralRecord(info));
        const std::uint64_t centralSize = out.Position() - centralOffset;
        const std::string end = EndRecords(records.size(), centralSize, centralOffset);
        result_.Zip64 = result_.Zip64 || end.size() > zipformat::kEndCentralSize;
        out.Write(end);
        result_.ArchiveSize = out.Position();
        out.Close(result_.ArchiveSize);
    }

    // Writes one non-empty file's header and data, taking its blocks from the workers.
    void WriteFile(TOutputFile& out, const TPayloadEntry& entry, TZipRecordInfo& info,
                   std::size_t& task) {
        const bool compress = options_.Level > 0;
        const bool oneBlock = tasks_[task].Last;
        if (oneBlock) {
            TBlockResult block = Take(task++);
            const bool deflated = compress && block.Compressed.size() < block.Raw.size();
            const std::string& data = deflated ? block.Compressed : block.Raw;
            info.Method = deflated ? zipformat::kMethodDeflated : zipformat::kMethodStored;
            info.Crc = block.Crc;
            info.CompressedSize = data.size();
            out.Write(LocalHeader(info));
            out.Write(data);
            return;
        }
        // A larger file streams: the header is written first and completed afterwards.
        info.Method = compress ? zipformat::kMethodDeflated : zipformat::kMethodStored;
        const std::uint64_t headerOffset = out.Position();
        out.Write(LocalHeader(info));
        const std::uint64_t dataStart = out.Position();
        std::uint32_t crc = 0;
        bool last = false;
        while (!last) {
            last = tasks_[task].Last;
            const std::size_t length = tasks_[task].Length;
            TBlockResult block = Take(task++);
            out.Write(compress ? block.Compressed : block.Raw);
            crc = static_cast<std::uint32_t>(
                crc32_combine(crc, block.Crc, static_cast<z_off_t>(length)));
            progress_.BytesDone += length;
            Report();
        }
        progress_.BytesDone -= entry.Size; // the caller counts the whole file once
        info.Crc = crc;
        info.CompressedSize = out.Position() - dataStart;
        if (compress && info.CompressedSize >= entry.Size) {
            // Deflate made it larger: store it instead, over the deflated data.
            out.Seek(dataStart);
            if (StoreCopy(out, entry) != crc)
                ThrowIoFailure(ChangedMessage(entry));
            info.Method = zipformat::kMethodStored;
            info.CompressedSize = entry.Size;
        }
        const std::uint64_t dataEnd = dataStart + info.CompressedSize;
        out.Seek(headerOffset);
        out.Write(LocalHeader(info));
        out.Seek(dataEnd);
    }

    // Copies the file as it is to the output; returns the CRC-32 of what was copied.
    std::uint32_t StoreCopy(TOutputFile& out, const TPayloadEntry& entry) {
        TInputFile input(entry.Source);
        std::string buffer(kBlockSize, '\0');
        std::uint32_t crc = 0;
        for (std::uint64_t offset = 0; offset < entry.Size; offset += kBlockSize) {
            const auto length =
                static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, entry.Size - offset));
            if (input.ReadAt(offset, buffer.data(), length) != length)
                ThrowIoFailure(ChangedMessage(entry));
            crc = static_cast<std::uint32_t>(crc32(
                crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(length)));
            out.Write(buffer.data(), length);
        }
        return crc;
    }

    void Report() {
        if (options_.OnProgress)
            options_.OnProgress(progress_);
    }

    const std::vector<TPayloadEntry>& entries_;
    std::filesystem::path path_;
    const TZipWriteOptions& options_;
    std::vector<TBlockTask> tasks_;
    unsigned threads_ = 1;
    std::size_t window_ = 1;

    std::mutex mutex_;
    std::condition_variable spaceFree_;  // a slot was taken by the writer, or stop
    std::condition_variable blockReady_; // a worker finished a block
    std::vector<TBlockResult> slots_;    // block i is in slot i % window_
    std::set<std::size_t> ready_;
    std::size_t next_ = 0;     // the next block a worker takes
    std::size_t consumed_ = 0; // blocks the writer has taken
    bool stop_ = false;

    TZipProgress progress_;
    TZipWriteResult result_;
};

} // namespace

TZipWriteResult WriteZipArchive(const std::vector<TPayloadEntry>& entries,
                                const std::filesystem::path& output,
                                const TZipWriteOptions& options) {
    if (options.Level < 0 || options.Level > 9)
        ThrowBadInput("the compression level must be 0 to 9");
    TParallelZipWriter writer(entries, output, options);
    return writer.Run();
}
