#pragma once
// Little-endian numbers in byte buffers, as ZIP and PE files store them. Portable.

#include <cstddef>
#include <cstdint>
#include <string>

namespace le {

inline std::uint16_t Get16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Get64(const unsigned char* p) {
    return Get32(p) | (static_cast<std::uint64_t>(Get32(p + 4)) << 32);
}

// The same at byte `at` of `bytes`; the caller has checked that the value lies inside.
inline std::uint16_t Get16(const std::string& bytes, std::size_t at) {
    return Get16(reinterpret_cast<const unsigned char*>(bytes.data()) + at);
}
inline std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    return Get32(reinterpret_cast<const unsigned char*>(bytes.data()) + at);
}

// Appends the low 16, 32 or 64 bits of `value`.
inline void Put16(std::string& out, std::uint64_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint64_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, (value >> 16) & 0xFFFF);
}
inline void Put64(std::string& out, std::uint64_t value) {
    Put32(out, value & 0xFFFFFFFFu);
    Put32(out, value >> 32);
}

// Overwrites the bytes at `at` with the low 16 or 32 bits of `value`.
inline void Set16(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}
inline void Set32(std::string& bytes, std::size_t at, std::uint32_t value) {
    Set16(bytes, at, value & 0xFFFF);
    Set16(bytes, at + 2, value >> 16);
}

} // namespace le
