#pragma once
// The reader's working memory for the data of an entry, one set per thread that extracts.
// Private to the reader's sources.
#include "archive/ZipReader.h"

#include <zlib.h>

// Large blocks keep the number of reads, writes and pump calls per megabyte small; together
// they are a thread's whole working memory for the data.
inline constexpr std::size_t kEntryInBufferSize = 256 * 1024;
inline constexpr std::size_t kEntryOutBufferSize = 1024 * 1024;

// One raw-inflate state for a thread's whole extraction, reset per entry; throws "error" when
// zlib cannot make one.
struct TZipReader::TInflater {
    z_stream stream{};
    TInflater();
    ~TInflater();
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;
};

struct TZipReader::TEntryDecoder {
    explicit TEntryDecoder(bool mayPump) : pumps(mayPump) {}
    TByteBuffer in{kEntryInBufferSize};
    TByteBuffer out{kEntryOutBufferSize};
    std::unique_ptr<TInflater> inflater; // made at the first deflated entry
    bool pumps;                          // only the thread that called UnZip pumps messages
};
