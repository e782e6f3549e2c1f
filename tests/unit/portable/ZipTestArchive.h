#pragma once
// Entries are written with designated initialisers that name only what differs.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
// Builds ZIP archives byte by byte for the reader's tests, independently of the reader's own
// code: stored, deflated or any method number, traditional encryption, ZIP64 records, and
// fields overridden to make damaged archives.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

// 2024-03-05 10:20:30, as DOS date and time.
constexpr std::uint16_t kDate = 0x5865;
constexpr std::uint16_t kTime = 0x528F;

struct TEntry {
    std::string name;         // stored name bytes
    std::string data;         // uncompressed content
    std::uint16_t method = 8; // 0 stored, 8 deflated, anything else as is
    std::uint16_t flags = 0;
    std::uint16_t madeBy = 20; // version made by (host 0, version 2.0)
    std::uint16_t date = kDate, time = kTime;
    std::uint32_t external = 0;
    std::optional<std::uint32_t> crc;      // stored CRC-32 instead of the real one
    std::optional<std::uint64_t> declared; // stored uncompressed size instead of the real one
    std::optional<std::string> compressed; // stored data instead of the compressed content
    std::string centralExtra, localExtra;
    std::string password; // non-empty: traditional encryption
    bool zip64 = false;   // sizes and offset through the ZIP64 extra field
};

struct TOptions {
    bool zip64End = false; // ZIP64 end record and locator, saturated end record
    std::string prefix;    // bytes in front of the first local header
    std::optional<std::uint64_t> centralOffset; // stored central directory offset
    std::string comment;
    bool duplicateFirstOffset = false; // every central record names the first local header
    bool reverseCentral = false;       // central records in the reverse order of the data
};

inline void Put16(std::string& s, std::uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
inline void Put64(std::string& s, std::uint64_t v) {
    Put32(s, static_cast<std::uint32_t>(v));
    Put32(s, static_cast<std::uint32_t>(v >> 32));
}

inline std::uint32_t Crc(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// `flush` Z_FULL_FLUSH leaves the stream unfinished, ending on a byte boundary.
inline std::string RawDeflate(const std::string& data, int level = 6, int flush = Z_FINISH) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, flush);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

// Traditional PKWARE encryption, written out here so that the reader's copy is checked
// against a second one.
class TEncryptor {
public:
    explicit TEncryptor(const std::string& password) {
        for (const char c : password)
            Update(static_cast<unsigned char>(c));
    }
    std::string Encrypt(const std::string& plain) {
        std::string out;
        for (const char c : plain) {
            const std::uint32_t t = (k2_ & 0xFFFF) | 2;
            const auto p = static_cast<unsigned char>(c);
            out += static_cast<char>(p ^ ((t * (t ^ 1)) >> 8));
            Update(p);
        }
        return out;
    }

private:
    static std::uint32_t CrcStep(std::uint32_t crc, unsigned char b) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        return crc;
    }
    void Update(unsigned char p) {
        k0_ = CrcStep(k0_, p);
        k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
        k2_ = CrcStep(k2_, static_cast<unsigned char>(k1_ >> 24));
    }
    std::uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

inline std::string Zip64Extra(std::uint64_t uncompressed, std::uint64_t compressed,
                              std::optional<std::uint64_t> offset) {
    std::string e;
    Put16(e, 0x0001);
    Put16(e, offset ? 24 : 16);
    Put64(e, uncompressed);
    Put64(e, compressed);
    if (offset)
        Put64(e, *offset);
    return e;
}

inline std::string UnicodePathExtra(const std::string& utf8) {
    std::string e;
    Put16(e, 0x7075);
    Put16(e, static_cast<std::uint32_t>(5 + utf8.size()));
    e += '\x01';
    Put32(e, 0); // name checksum: never compared
    return e + utf8;
}

inline std::string AesExtra(std::uint16_t realMethod) {
    std::string e;
    Put16(e, 0x9901);
    Put16(e, 7);
    Put16(e, 2);
    e += "AE";
    e += '\x03';
    Put16(e, realMethod);
    return e;
}

inline std::string BuildZip(const std::vector<TEntry>& entries, const TOptions& options = {}) {
    std::string zip = options.prefix;
    std::string central;
    std::vector<std::string> records; // with reverseCentral: each record, last one first
    std::uint64_t firstOffset = zip.size();
    for (const TEntry& e : entries) {
        const std::uint32_t crc = e.crc.value_or(Crc(e.data));
        std::string payload =
            e.compressed ? *e.compressed : (e.method == 8 ? RawDeflate(e.data) : e.data);
        std::uint16_t flags = e.flags;
        if (!e.password.empty()) {
            flags |= 1;
            TEncryptor enc(e.password);
            std::string header(11, '\x5A');
            header += static_cast<char>((flags & 8) ? (e.time >> 8) : (crc >> 24));
            payload = enc.Encrypt(header + payload);
        }
        const std::uint64_t usize = e.declared.value_or(e.data.size());
        const std::uint64_t offset = zip.size();
        std::string localExtra = e.localExtra, centralExtra = e.centralExtra;
        if (e.zip64) {
            localExtra = Zip64Extra(usize, payload.size(), std::nullopt) + localExtra;
            centralExtra = Zip64Extra(usize, payload.size(), offset) + centralExtra;
        }
        std::string local;
        Put32(local, 0x04034B50);
        Put16(local, e.zip64 ? 45 : 20);
        Put16(local, flags);
        Put16(local, e.method);
        Put16(local, e.time);
        Put16(local, e.date);
        Put32(local, crc);
        Put32(local, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(payload.size()));
        Put32(local, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(usize));
        Put16(local, static_cast<std::uint32_t>(e.name.size()));
        Put16(local, static_cast<std::uint32_t>(localExtra.size()));
        zip += local + e.name + localExtra + payload;

        Put32(central, 0x02014B50);
        Put16(central, e.madeBy);
        Put16(central, e.zip64 ? 45 : 20);
        Put16(central, flags);
        Put16(central, e.method);
        Put16(central, e.time);
        Put16(central, e.date);
        Put32(central, crc);
        Put32(central, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(payload.size()));
        Put32(central, e.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(usize));
        Put16(central, static_cast<std::uint32_t>(e.name.size()));
        Put16(central, static_cast<std::uint32_t>(centralExtra.size()));
        Put16(central, 0); // comment
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, e.external);
        Put32(central, e.zip64 ? 0xFFFFFFFF
                               : static_cast<std::uint32_t>(
                                     options.duplicateFirstOffset ? firstOffset : offset));
        central += e.name + centralExtra;
        if (options.reverseCentral) {
            records.insert(records.begin(), central);
            central.clear();
        }
    }
    for (const std::string& record : records)
        central += record;
    const std::uint64_t centralOffset = options.centralOffset.value_or(zip.size());
    zip += central;
    if (options.zip64End) {
        const std::uint64_t z64Offset = zip.size();
        Put32(zip, 0x06064B50);
        Put64(zip, 44);
        Put16(zip, 45);
        Put16(zip, 45);
        Put32(zip, 0);
        Put32(zip, 0);
        Put64(zip, entries.size());
        Put64(zip, entries.size());
        Put64(zip, central.size());
        Put64(zip, centralOffset);
        Put32(zip, 0x07064B50);
        Put32(zip, 0);
        Put64(zip, z64Offset);
        Put32(zip, 1);
    }
    Put32(zip, 0x06054B50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, options.zip64End ? 0xFFFF : static_cast<std::uint32_t>(entries.size()));
    Put16(zip, options.zip64End ? 0xFFFF : static_cast<std::uint32_t>(entries.size()));
    Put32(zip, static_cast<std::uint32_t>(central.size()));
    Put32(zip, options.zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(centralOffset));
    Put16(zip, static_cast<std::uint32_t>(options.comment.size()));
    return zip + options.comment;
}

} // namespace ziptest
