#pragma once
// The smallest program image the packer accepts as a stub, written byte by byte so that the
// tests and the fuzz seeds depend on no built stub.

#include <cstddef>
#include <cstdint>
#include <string>

namespace packertest {

inline void Put(std::string& b, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The smallest PE32 executable image: headers and one code section, no resources.
inline std::string MiniImage() {
    std::string b(0x400, '\0');
    b[0] = 'M', b[1] = 'Z';
    Put(b, 0x3C, 0x40, 4);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    Put(b, 0x44, 0x14C, 2); // i386
    Put(b, 0x46, 1, 2);     // one section
    Put(b, 0x54, 224, 2);   // optional header size
    Put(b, 0x56, 0x0102, 2);
    const std::size_t opt = 0x58;
    Put(b, opt, 0x10B, 2);
    Put(b, opt + 16, 0x1000, 4); // entry point
    Put(b, opt + 28, 0x400000, 4);
    Put(b, opt + 32, 0x1000, 4); // section alignment
    Put(b, opt + 36, 0x200, 4);  // file alignment
    Put(b, opt + 40, 6, 2);
    Put(b, opt + 56, 0x2000, 4); // size of image
    Put(b, opt + 60, 0x200, 4);  // size of headers
    Put(b, opt + 68, 2, 2);      // GUI
    Put(b, opt + 92, 16, 4);     // data directories
    const std::size_t section = opt + 224;
    b.replace(section, 5, ".text");
    Put(b, section + 8, 0x10, 4);
    Put(b, section + 12, 0x1000, 4);
    Put(b, section + 16, 0x200, 4);
    Put(b, section + 20, 0x200, 4);
    Put(b, section + 36, 0x60000020, 4);
    b[0x200] = static_cast<char>(0xC3); // ret
    return b;
}

} // namespace packertest
