// Code pages through iconv, converted as leniently as Windows does: an unmapped byte or
// character becomes "?" rather than an error.
#include "sys/PlatformCodePage.h"

#include "sys/Error.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace {

class TIconvCodePage final : public ICodePage {
public:
    explicit TIconvCodePage(unsigned number) {
        const std::string name = "CP" + std::to_string(number);
        toWide_ = iconv_open("WCHAR_T", name.c_str());
        fromWide_ = iconv_open(name.c_str(), "WCHAR_T");
        if (toWide_ == reinterpret_cast<iconv_t>(-1) ||
            fromWide_ == reinterpret_cast<iconv_t>(-1)) {
            Close();
            throw EInstallerError(L"Code page not available: " + std::to_wstring(number));
        }
    }
    ~TIconvCodePage() override { Close(); }
    TIconvCodePage(const TIconvCodePage&) = delete;
    TIconvCodePage& operator=(const TIconvCodePage&) = delete;

    std::wstring ToWide(std::string_view bytes) const override {
        std::wstring text;
        Convert(toWide_, bytes.data(), bytes.size(), 1, text, L"?");
        return text;
    }
    std::string FromWide(std::wstring_view text) const override {
        std::string bytes;
        Convert(fromWide_, reinterpret_cast<const char*>(text.data()),
                text.size() * sizeof(wchar_t), sizeof(wchar_t), bytes, "?");
        return bytes;
    }

private:
    template <typename Out>
    static void Convert(iconv_t cd, const char* data, std::size_t length, std::size_t unit,
                        Out& out, const typename Out::value_type* substitute) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(data);
        std::size_t inLeft = length;
        typename Out::value_type chunk[256];
        while (inLeft > 0) {
            char* outPtr = reinterpret_cast<char*>(chunk);
            std::size_t outLeft = sizeof chunk;
            const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
            out.append(chunk, (sizeof chunk - outLeft) / sizeof(typename Out::value_type));
            if (rc != static_cast<std::size_t>(-1))
                break;
            if (errno == E2BIG)
                continue;
            // An invalid or incomplete sequence: substitute it and go on after one unit.
            out.append(substitute);
            const std::size_t step = std::min(unit, inLeft);
            in += step;
            inLeft -= step;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    void Close() {
        if (toWide_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(toWide_);
        if (fromWide_ != reinterpret_cast<iconv_t>(-1))
            iconv_close(fromWide_);
        toWide_ = fromWide_ = reinterpret_cast<iconv_t>(-1);
    }
    iconv_t toWide_ = reinterpret_cast<iconv_t>(-1);
    iconv_t fromWide_ = reinterpret_cast<iconv_t>(-1);
};

} // namespace

std::unique_ptr<ICodePage> MakeCodePage(unsigned number) {
    return std::make_unique<TIconvCodePage>(number);
}
