#include "tools/packer/PngCheck.h"
#include "sys/PictureLimits.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr std::array<unsigned char, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// No picture of the installer's layout is near this size; it bounds the inflate check.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

std::uint32_t Big32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

TPngCheck Invalid(std::string problem) {
    TPngCheck check;
    check.Problem = std::move(problem);
    return check;
}

// Bits per pixel for a colour type and bit depth, or 0 when the pair is not allowed.
unsigned BitsPerPixel(unsigned colourType, unsigned depth) {
    switch (colourType) {
    case 0: // grey
        return (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) ? depth : 0;
    case 2: // RGB
        return (depth == 8 || depth == 16) ? 3 * depth : 0;
    case 3: // palette
        return (depth == 1 || depth == 2 || depth == 4 || depth == 8) ? depth : 0;
    case 4: // grey and alpha
        return (depth == 8 || depth == 16) ? 2 * depth : 0;
    case 6: // RGBA
        return (depth == 8 || depth == 16) ? 4 * depth : 0;
    default:
        return 0;
    }
}

// The bytes of filtered image data: one filter byte per row, per pass when interlaced.
std::uint64_t ExpectedDataSize(std::uint32_t width, std::uint32_t height, unsigned bits,
                               bool interlaced) {
    auto passBytes = [bits](std::uint64_t w, std::uint64_t h) -> std::uint64_t {
        if (w == 0 || h == 0)
            return 0;
        return h * (1 + (w * bits + 7) / 8);
    };
    if (!interlaced)
        return passBytes(width, height);
    // Adam7: start and step of columns and rows of the seven passes.
    static constexpr unsigned kPass[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                             {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
    std::uint64_t total = 0;
    for (const auto& pass : kPass) {
        const std::uint64_t w = width > pass[0] ? (width - pass[0] + pass[1] - 1) / pass[1] : 0;
        const std::uint64_t h = height > pass[2] ? (height - pass[2] + pass[3] - 1) / pass[3] : 0;
        total += passBytes(w, h);
    }
    return total;
}

// Inflates the concatenated IDAT data; true when it is one complete zlib stream of exactly
// `expected` bytes.
bool InflatesTo(const std::string& data, std::uint64_t expected, std::string& problem) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        problem = "cannot start zlib";
        return false;
    }
    std::vector<unsigned char> out(1 << 16);
    std::uint64_t produced = 0;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        produced += out.size() - stream.avail_out;
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the data ends before the stream does
        if (produced > expected)
            break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END && status != Z_OK && status != Z_BUF_ERROR) {
        problem = "its image data is corrupt";
        return false;
    }
    if (status != Z_STREAM_END) {
        problem = produced > expected ? "its image data is larger than the header says"
                                      : "its image data is cut short";
        return false;
    }
    if (produced != expected) {
        problem = "its image data does not match the size in its header";
        return false;
    }
    return true;
}

} // namespace

TPngCheck CheckPng(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < kSignature.size() || std::memcmp(p, kSignature.data(), kSignature.size()))
        return Invalid("it does not start with the PNG signature");

    TPngCheck result;
    unsigned bits = 0;
    bool interlaced = false;
    bool seenHeader = false, seenEnd = false, seenPalette = false;
    unsigned colourType = 0;
    std::string imageData;
    std::size_t offset = kSignature.size();
    while (offset < bytes.size()) {
        if (bytes.size() - offset < 12)
            return Invalid("it ends inside a chunk header");
        const std::uint32_t length = Big32(p + offset);
        const std::string type(bytes.substr(offset + 4, 4));
        if (length > 0x7FFFFFFFu || bytes.size() - offset - 12 < length)
            return Invalid("chunk \"" + type + "\" runs past the end of the file");
        const unsigned char* data = p + offset + 8;
        const std::uint32_t stored = Big32(data + length);
        const auto crc = static_cast<std::uint32_t>(
            crc32(crc32(0, p + offset + 4, 4), data, static_cast<uInt>(length)));
        if (crc != stored)
            return Invalid("chunk \"" + type + "\" has a wrong CRC-32");
        offset += 12 + std::size_t{length};

        if (!seenHeader) {
            if (type != "IHDR" || length != 13)
                return Invalid("its first chunk is not a valid IHDR");
            seenHeader = true;
            result.Width = Big32(data);
            result.Height = Big32(data + 4);
            colourType = data[9];
            bits = BitsPerPixel(colourType, data[8]);
            interlaced = data[12] == 1;
            if (result.Width == 0 || result.Height == 0 || bits == 0 || data[10] != 0 ||
                data[11] != 0 || data[12] > 1)
                return Invalid("its IHDR holds an invalid size or format");
            if (result.Width > kMaxPictureSide || result.Height > kMaxPictureSide)
                return Invalid("it is larger than " + std::to_string(kMaxPictureSide) +
                               " pixels on a side, which the installer's window cannot take");
            if (std::uint64_t{result.Width} * result.Height > kMaxPixels)
                return Invalid("it is too large for a picture of the installer");
            continue;
        }
        if (type == "IHDR")
            return Invalid("it has a second IHDR");
        if (type == "PLTE")
            seenPalette = true;
        else if (type == "IDAT")
            imageData.append(reinterpret_cast<const char*>(data), length);
        else if (type == "IEND") {
            seenEnd = true;
            break;
        }
    }
    if (!seenEnd)
        return Invalid("it has no IEND chunk: the file is cut short");
    if (colourType == 3 && !seenPalette)
        return Invalid("it is a palette picture without a palette");
    if (imageData.empty())
        return Invalid("it has no image data");
    std::string problem;
    if (!InflatesTo(imageData, ExpectedDataSize(result.Width, result.Height, bits, interlaced),
                    problem))
        return Invalid(problem);
    result.Valid = true;
    return result;
}
