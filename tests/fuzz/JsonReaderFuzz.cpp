// Fuzz target for the settings reader: any text must parse or fail cleanly, every parsed value
// must convert, and its JSON text must read back to an equal value.

#include "settings/InstallerSettings.h"
#include "settings/JsonReader.h"
#include "sys/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void AppendCodePoint(std::wstring& out, std::uint32_t cp) {
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// Decodes UTF-8 loosely: a byte that does not fit a sequence becomes U+FFFD.
std::wstring FromUtf8(const std::uint8_t* data, std::size_t size) {
    std::wstring out;
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t b = data[i];
        std::size_t length = b < 0x80         ? 1
                             : (b >> 5) == 6  ? 2
                             : (b >> 4) == 14 ? 3
                             : (b >> 3) == 30 ? 4
                                              : 0;
        if (length == 0 || i + length > size) {
            AppendCodePoint(out, 0xFFFD);
            ++i;
            continue;
        }
        std::uint32_t cp = length == 1 ? b : b & (0x7F >> length);
        bool valid = true;
        for (std::size_t k = 1; k < length; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                valid = false;
            cp = (cp << 6) | (data[i + k] & 0x3F);
        }
        if (!valid) {
            AppendCodePoint(out, 0xFFFD);
            ++i;
            continue;
        }
        AppendCodePoint(out, cp);
        i += length;
    }
    return out;
}

// Takes the bytes as little-endian code units of `width` bytes, whatever their values.
std::wstring FromUnits(const std::uint8_t* data, std::size_t size, std::size_t width) {
    std::wstring out;
    for (std::size_t i = 0; i + width <= size; i += width) {
        std::uint32_t unit = 0;
        for (std::size_t k = 0; k < width; ++k)
            unit |= static_cast<std::uint32_t>(data[i + k]) << (8 * k);
        out += static_cast<wchar_t>(unit);
    }
    return out;
}

void Convert(const TJsonValue& value) {
    const std::wstring text = ValueAsText(value);
    ValueAsBoolean(value);
    switch (value.Kind) {
    case TJsonKind::Number:
        Check(!text.empty());
        break;
    case TJsonKind::Object:
        Check(text == ValueToJson(value));
        for (const TJsonMember& member : value.Members)
            Convert(member.Value);
        break;
    case TJsonKind::Array:
        Check(text == ValueToJson(value));
        for (const TJsonValue& item : value.Items)
            Convert(item);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // A first byte of 1 or 2 selects raw code units (16 bits, or the width of wchar_t), which
    // reach lone surrogates and, natively, values beyond Unicode; anything else is UTF-8.
    const std::wstring text = data[0] == 1   ? FromUnits(data + 1, size - 1, 2)
                              : data[0] == 2 ? FromUnits(data + 1, size - 1, sizeof(wchar_t))
                                             : FromUtf8(data, size);

    TJsonValue value;
    TJsonError error;
    if (ParseJson(text, value, error)) {
        Convert(value);
        TJsonValue again;
        Check(ParseJson(ValueToJson(value), again, error));
        Check(again == value);
    } else {
        Check(!error.Reason.empty() && error.Line >= 1 && error.Column >= 1);
    }

    TInstallerSettings settings;
    const TSettingsFolders folders{[] { return std::wstring(L"A"); },
                                   [] { return std::wstring(L"L"); }};
    try {
        ReadInstallerSettings(text, settings, folders);
    } catch (const EInstallerError& failure) {
        Check(!failure.Message().empty());
    }
    return 0;
}
