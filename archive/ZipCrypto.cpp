#include "archive/ZipCrypto.h"

#include <zlib.h>

namespace {

// The CRC-32 table step of the key schedule; zlib's table is the same polynomial.
inline std::uint32_t CrcByte(std::uint32_t crc, unsigned char b) {
    static const z_crc_t* table = get_crc_table();
    return table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

} // namespace

TZipCryptoKeys::TZipCryptoKeys(std::string_view password) {
    for (const char c : password)
        Update(static_cast<unsigned char>(c));
}

void TZipCryptoKeys::Update(unsigned char plain) {
    key0_ = CrcByte(key0_, plain);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = CrcByte(key2_, static_cast<unsigned char>(key1_ >> 24));
}

void TZipCryptoKeys::Decrypt(unsigned char* data, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint32_t temp = (key2_ & 0xFFFF) | 2;
        const auto plain = static_cast<unsigned char>(
            data[i] ^ static_cast<unsigned char>((temp * (temp ^ 1)) >> 8));
        Update(plain);
        data[i] = plain;
    }
}

bool CheckEncryptionHeader(TZipCryptoKeys& keys, const unsigned char (&header)[12],
                           unsigned char checkByte) {
    unsigned char plain[12];
    for (int i = 0; i < 12; ++i)
        plain[i] = header[i];
    keys.Decrypt(plain, sizeof plain);
    return plain[11] == checkByte;
}
