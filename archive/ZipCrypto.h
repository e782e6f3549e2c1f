#pragma once
// Traditional PKWARE encryption (APPNOTE section 6.1), decryption side. Portable.

#include <cstddef>
#include <cstdint>
#include <string_view>

class TZipCryptoKeys {
public:
    // Keys seeded with 0x12345678, 0x23456789, 0x34567890 and then updated with `password`.
    explicit TZipCryptoKeys(std::string_view password);

    // Decrypts `length` bytes in place, advancing the keys.
    void Decrypt(unsigned char* data, std::size_t length);

private:
    void Update(unsigned char plain);
    std::uint32_t key0_ = 0x12345678, key1_ = 0x23456789, key2_ = 0x34567890;
};

// Decrypts the 12-byte encryption header with fresh `keys` and tells whether its last byte
// equals `checkByte` (the high byte of the CRC-32, or of the DOS time with a data
// descriptor). The keys are left ready for the entry's data.
bool CheckEncryptionHeader(TZipCryptoKeys& keys, const unsigned char (&header)[12],
                           unsigned char checkByte);
