#include "tools/packer/JsonMemberLines.h"

namespace {

class TScanner {
public:
    explicit TScanner(const std::wstring& text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    wchar_t Peek() const { return AtEnd() ? L'\0' : text_[pos_]; }
    std::size_t Line() const { return line_; }
    void Advance() {
        if (text_[pos_] == L'\n')
            ++line_;
        ++pos_;
    }

    // Skips white space and both kinds of comment.
    void SkipBlank() {
        while (!AtEnd()) {
            const wchar_t c = Peek();
            if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
                Advance();
            } else if (c == L'/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == L'/') {
                while (!AtEnd() && Peek() != L'\n')
                    Advance();
            } else if (c == L'/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == L'*') {
                Advance();
                Advance();
                while (!AtEnd() &&
                       !(Peek() == L'*' && pos_ + 1 < text_.size() && text_[pos_ + 1] == L'/'))
                    Advance();
                if (!AtEnd()) {
                    Advance();
                    Advance();
                }
            } else {
                return;
            }
        }
    }

    // Skips a string in the quote at the current position, escapes included.
    void SkipQuoted() {
        const wchar_t quote = Peek();
        Advance();
        while (!AtEnd() && Peek() != quote) {
            if (Peek() == L'\\')
                Advance();
            if (!AtEnd())
                Advance();
        }
        if (!AtEnd())
            Advance();
    }

    // Skips one value: a string, an object or array with all it holds, or a bare value that
    // runs up to the next "," or the closing bracket of the enclosing container.
    void SkipValue() {
        const wchar_t c = Peek();
        if (c == L'"' || c == L'\'') {
            SkipQuoted();
            return;
        }
        if (c == L'{' || c == L'[') {
            int depth = 0;
            while (!AtEnd()) {
                SkipBlank();
                const wchar_t d = Peek();
                if (d == L'"' || d == L'\'') {
                    SkipQuoted();
                    continue;
                }
                if (d == L'{' || d == L'[')
                    ++depth;
                else if (d == L'}' || d == L']')
                    --depth;
                Advance();
                if (depth == 0)
                    return;
            }
            return;
        }
        while (!AtEnd() && Peek() != L',' && Peek() != L'}')
            Advance();
    }

private:
    const std::wstring& text_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

} // namespace

std::vector<std::size_t> TopLevelMemberLines(const std::wstring& text) {
    std::vector<std::size_t> lines;
    TScanner scan(text);
    scan.SkipBlank();
    if (scan.Peek() != L'{')
        return lines;
    scan.Advance();
    for (;;) {
        scan.SkipBlank();
        if (scan.AtEnd() || scan.Peek() == L'}')
            return lines;
        if (scan.Peek() == L',') {
            scan.Advance();
            continue;
        }
        lines.push_back(scan.Line());
        if (scan.Peek() == L'"' || scan.Peek() == L'\'')
            scan.SkipQuoted();
        while (!scan.AtEnd() && scan.Peek() != L':')
            scan.Advance();
        if (scan.AtEnd())
            return lines;
        scan.Advance();
        scan.SkipBlank();
        scan.SkipValue();
    }
}
