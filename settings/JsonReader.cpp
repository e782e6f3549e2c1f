#include "settings/JsonReader.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace {

// wchar_t is signed on Linux; classify code units by their unsigned value.
std::uint32_t Unit(wchar_t c) {
    return static_cast<std::uint32_t>(c);
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

// Where a value stands decides what ends a value without quotes.
enum class TContext { Top, Object, Array };

class TParser {
public:
    explicit TParser(const std::wstring& text) : text_(text) {}

    bool Run(TJsonValue& value) {
        if (!SkipBlankOrFail())
            return false;
        if (AtEnd())
            return Fail(pos_, L"the text holds no value");
        return ParseValue(TContext::Top, 0, value);
    }

    TJsonError Error() const {
        TJsonError error;
        error.Reason = reason_;
        error.Line = 1;
        std::size_t lineStart = 0;
        for (std::size_t i = 0; i < errorPos_ && i < text_.size(); ++i) {
            if (text_[i] == L'\n' ||
                (text_[i] == L'\r' && (i + 1 >= text_.size() || text_[i + 1] != L'\n'))) {
                ++error.Line;
                lineStart = i + 1;
            }
        }
        error.Column = errorPos_ - lineStart + 1;
        return error;
    }

private:
    const std::wstring& text_;
    std::size_t pos_ = 0;
    std::size_t errorPos_ = 0;
    std::wstring reason_;

    bool AtEnd() const { return pos_ >= text_.size(); }
    bool At(std::size_t p, wchar_t c) const { return p < text_.size() && text_[p] == c; }

    bool Fail(std::size_t pos, std::wstring reason) {
        errorPos_ = pos;
        reason_ = std::move(reason);
        return false;
    }

    // Finds a pattern at or after a position, remembering the last answer: searches mostly come
    // from later and later positions, so one scan serves every search that starts between the
    // previous start and the match.
    class TForwardFinder {
    public:
        TForwardFinder(const std::wstring& text, const wchar_t* pattern, bool anyOf)
            : text_(text), pattern_(pattern), anyOf_(anyOf) {}

        std::size_t Find(std::size_t from) {
            if (!valid_ || from < from_ || from > at_) {
                at_ = anyOf_ ? text_.find_first_of(pattern_, from) : text_.find(pattern_, from);
                from_ = from;
                valid_ = true;
            }
            return at_;
        }

    private:
        const std::wstring& text_;
        const wchar_t* pattern_;
        bool anyOf_;
        bool valid_ = false;
        std::size_t from_ = 0;
        std::size_t at_ = 0;
    };

    struct TBlankEnd {
        std::size_t pos;
        bool closed;
    };

    // Deciding whether a literal ends its value looks past the comments after it, and a
    // value without quotes may then end inside one of them, so the same comments can be
    // walked again from many starts. Remembering where the walk from each comment's end led
    // keeps the total work linear.
    TForwardFinder blockCloses_{text_, L"*/", false};
    TForwardFinder lineEnds_{text_, L"\r\n", true};
    std::unordered_map<std::size_t, TBlankEnd> blankEnds_;
    std::vector<std::size_t> trail_;

    // Moves `p` past white space and comments. Returns false, with `p` at the comment's start,
    // when a block comment is never closed.
    bool SkipBlank(std::size_t& p) {
        trail_.clear();
        TBlankEnd end{p, true};
        for (;;) {
            while (p < text_.size() && IsBlank(text_[p]))
                ++p;
            if (At(p, L'/') && At(p + 1, L'/')) {
                p = std::min(lineEnds_.Find(p + 2), text_.size());
            } else if (At(p, L'/') && At(p + 1, L'*')) {
                const std::size_t close = blockCloses_.Find(p + 2);
                if (close == std::wstring::npos) {
                    end = {p, false};
                    break;
                }
                p = close + 2;
            } else {
                end = {p, true};
                break;
            }
            const auto known = blankEnds_.find(p);
            if (known != blankEnds_.end()) {
                end = known->second;
                break;
            }
            trail_.push_back(p);
        }
        for (const std::size_t afterComment : trail_)
            blankEnds_[afterComment] = end;
        p = end.pos;
        return end.closed;
    }

    bool SkipBlankOrFail() {
        if (SkipBlank(pos_))
            return true;
        return Fail(pos_, L"the comment that starts here is never closed");
    }

    static wchar_t Closer(TContext context) { return context == TContext::Object ? L'}' : L']'; }

    // Matches true, false, null or an RFC 8259 number at `start`; sets `end` past it.
    bool MatchLiteral(std::size_t start, std::size_t& end, TJsonKind& kind, bool& isInteger) const {
        static constexpr std::pair<const wchar_t*, TJsonKind> kWords[] = {
            {L"true", TJsonKind::True}, {L"false", TJsonKind::False}, {L"null", TJsonKind::Null}};
        for (const auto& [word, wordKind] : kWords) {
            if (text_.compare(start, std::char_traits<wchar_t>::length(word), word) == 0) {
                end = start + std::char_traits<wchar_t>::length(word);
                kind = wordKind;
                return true;
            }
        }
        std::size_t p = start;
        if (At(p, L'-'))
            ++p;
        if (At(p, L'0')) {
            ++p;
        } else if (p < text_.size() && IsDigit(text_[p])) {
            while (p < text_.size() && IsDigit(text_[p]))
                ++p;
        } else {
            return false;
        }
        isInteger = true;
        if (At(p, L'.')) {
            ++p;
            if (p >= text_.size() || !IsDigit(text_[p]))
                return false;
            while (p < text_.size() && IsDigit(text_[p]))
                ++p;
            isInteger = false;
        }
        if (At(p, L'e') || At(p, L'E')) {
            ++p;
            if (At(p, L'+') || At(p, L'-'))
                ++p;
            if (p >= text_.size() || !IsDigit(text_[p]))
                return false;
            while (p < text_.size() && IsDigit(text_[p]))
                ++p;
            isInteger = false;
        }
        end = p;
        kind = TJsonKind::Number;
        return true;
    }

    // A literal counts only when it is the whole value: what follows it must end the value.
    bool LiteralEndsValue(TContext context, std::size_t end) {
        if (context == TContext::Top) {
            return end >= text_.size() || IsBlank(text_[end]) || text_[end] == L',' ||
                   (text_[end] == L'/' && (At(end + 1, L'/') || At(end + 1, L'*')));
        }
        std::size_t after = end;
        if (!SkipBlank(after) || after >= text_.size())
            return false;
        return text_[after] == L',' || text_[after] == Closer(context);
    }

    // The exponent is kept as written; one too long to count with is refused rather than
    // rounded into a wrong text.
    static bool ExponentInRange(const std::wstring& literal) {
        std::size_t p = literal.find_first_of(L"eE");
        if (p == std::wstring::npos)
            return true;
        ++p;
        if (p < literal.size() && (literal[p] == L'+' || literal[p] == L'-'))
            ++p;
        while (p < literal.size() && literal[p] == L'0')
            ++p;
        return literal.size() - p <= 18;
    }

    bool ParseValue(TContext context, std::size_t depth, TJsonValue& out) {
        const wchar_t c = text_[pos_];
        if (c == L'{')
            return ParseObject(depth + 1, out);
        if (c == L'[')
            return ParseArray(depth + 1, out);
        if (c == L'"' || c == L'\'') {
            out.Kind = TJsonKind::String;
            return ParseQuoted(out.Text);
        }
        if (context != TContext::Top && (c == L',' || c == Closer(context)))
            return Fail(pos_, L"expected a value");

        std::size_t end = 0;
        TJsonKind kind = TJsonKind::Null;
        bool isInteger = false;
        if (MatchLiteral(pos_, end, kind, isInteger) && LiteralEndsValue(context, end)) {
            out.Kind = kind;
            if (kind == TJsonKind::Number) {
                out.Text = text_.substr(pos_, end - pos_);
                out.IsInteger = isInteger;
                if (!ExponentInRange(out.Text))
                    return Fail(pos_, L"the exponent of this number is too large");
            }
            pos_ = end;
            return true;
        }
        return ParseBareValue(context, out);
    }

    // A value without quotes runs, white space included, up to the next "," or the closing
    // bracket of its container; at the top level up to a "," or the end of the text.
    bool ParseBareValue(TContext context, TJsonValue& out) {
        std::size_t end = 0;
        if (context == TContext::Top) {
            end = text_.find(L',', pos_);
            if (end == std::wstring::npos)
                end = text_.size();
        } else {
            const wchar_t stops[] = {L',', Closer(context), 0};
            end = text_.find_first_of(stops, pos_);
            if (end == std::wstring::npos)
                return FailUnclosed(context);
        }
        out.Kind = TJsonKind::String;
        out.Text = text_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

    bool FailUnclosed(TContext context) {
        return Fail(text_.size(), context == TContext::Object
                                      ? L"the text ends inside an object (missing '}')"
                                      : L"the text ends inside an array (missing ']')");
    }

    bool FailTooDeep() {
        return Fail(pos_, L"objects and arrays are nested more than " +
                              std::to_wstring(kJsonMaxDepth) + L" levels deep");
    }

    bool ParseObject(std::size_t depth, TJsonValue& out) {
        out.Kind = TJsonKind::Object;
        return ParseSequence(depth, TContext::Object, L'}', L"the member's value", [&] {
            TJsonMember member;
            if (!ParseName(member.Name))
                return false;
            ++pos_; // the colon
            if (!SkipBlankOrFail())
                return false;
            if (AtEnd())
                return FailUnclosed(TContext::Object);
            if (!ParseValue(TContext::Object, depth, member.Value))
                return false;
            out.Members.push_back(std::move(member));
            return true;
        });
    }

    // Reads a member name and stops at its colon.
    bool ParseName(std::wstring& name) {
        const wchar_t c = text_[pos_];
        if (c == L'"' || c == L'\'') {
            if (!ParseQuoted(name) || !SkipBlankOrFail())
                return false;
            if (AtEnd())
                return FailUnclosed(TContext::Object);
            if (text_[pos_] != L':')
                return Fail(pos_, L"expected ':' after the member name");
            return true;
        }
        if (c == L',')
            return Fail(pos_, L"expected a member name");
        // A name without quotes runs up to the colon, white space before it included.
        const std::size_t colon = text_.find(L':', pos_);
        if (colon == std::wstring::npos)
            return Fail(pos_, L"the member name without quotes that starts here has no ':'");
        name = text_.substr(pos_, colon - pos_);
        pos_ = colon;
        return true;
    }

    bool ParseArray(std::size_t depth, TJsonValue& out) {
        out.Kind = TJsonKind::Array;
        return ParseSequence(depth, TContext::Array, L']', L"the array element", [&] {
            TJsonValue item;
            if (!ParseValue(TContext::Array, depth, item))
                return false;
            out.Items.push_back(std::move(item));
            return true;
        });
    }

    // An object's or array's elements from its opening bracket at pos_ to its `close`:
    // `element` reads one (a member, or a value); they are separated by commas, and one comma
    // may trail the last.
    template <typename ParseElement>
    bool ParseSequence(std::size_t depth, TContext context, wchar_t close, const wchar_t* what,
                       ParseElement element) {
        if (depth > kJsonMaxDepth)
            return FailTooDeep();
        ++pos_;
        if (!SkipBlankOrFail())
            return false;
        if (At(pos_, close)) {
            ++pos_;
            return true;
        }
        for (;;) {
            if (AtEnd())
                return FailUnclosed(context);
            if (!element())
                return false;
            if (!SkipBlankOrFail())
                return false;
            if (AtEnd())
                return FailUnclosed(context);
            if (text_[pos_] == close) {
                ++pos_;
                return true;
            }
            if (text_[pos_] != L',')
                return Fail(pos_, std::wstring(L"expected ',' or '") + close + L"' after " + what);
            ++pos_;
            if (!SkipBlankOrFail())
                return false;
            if (At(pos_, close)) { // a trailing comma
                ++pos_;
                return true;
            }
        }
    }

    // Reads `count` hexadecimal digits at pos_; returns -1 unless all are there.
    long ReadHex(int count) {
        long value = 0;
        for (int i = 0; i < count; ++i) {
            const int digit = pos_ + i < text_.size() ? HexValue(text_[pos_ + i]) : -1;
            if (digit < 0)
                return -1;
            value = value * 16 + digit;
        }
        pos_ += count;
        return value;
    }

    // Whether the last character of the string being read is a high surrogate written as \u,
    // which a \u low surrogate right after it completes.
    bool pendingHigh_ = false;

    void AppendEscapedUnit(std::wstring& out, long unit) {
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if constexpr (sizeof(wchar_t) >= 4) {
            // With 32-bit characters an escaped surrogate pair becomes the one code point it
            // encodes; a lone surrogate is kept as it stands.
            if (low && pendingHigh_) {
                const long first = static_cast<long>(Unit(out.back()));
                out.back() =
                    static_cast<wchar_t>(0x10000 + ((first - 0xD800) << 10) + (unit - 0xDC00));
                pendingHigh_ = false;
                return;
            }
        }
        out += static_cast<wchar_t>(unit);
        pendingHigh_ = high;
    }

    bool ParseQuoted(std::wstring& out) {
        const wchar_t quote = text_[pos_];
        const std::size_t start = pos_;
        ++pos_;
        pendingHigh_ = false;
        for (;;) {
            if (AtEnd())
                return Fail(start, L"the string that starts here is never closed");
            const wchar_t c = text_[pos_];
            if (c == quote) {
                ++pos_;
                return true;
            }
            if (Unit(c) < 0x20)
                return Fail(pos_, L"a control character in a string must be written as an "
                                  L"escape");
            if (c != L'\\') {
                out += c;
                pendingHigh_ = false;
                ++pos_;
                continue;
            }
            const std::size_t escape = pos_;
            ++pos_;
            if (AtEnd())
                return Fail(start, L"the string that starts here is never closed");
            const wchar_t e = text_[pos_++];
            long unit = 0;
            switch (e) {
            case L'b':
                unit = 0x08;
                break;
            case L'f':
                unit = 0x0C;
                break;
            case L'n':
                unit = 0x0A;
                break;
            case L'r':
                unit = 0x0D;
                break;
            case L't':
                unit = 0x09;
                break;
            case L'u':
                unit = ReadHex(4);
                if (unit < 0)
                    return Fail(escape, L"\\u must be followed by four hexadecimal digits");
                AppendEscapedUnit(out, unit);
                continue;
            case L'x':
                unit = ReadHex(2);
                if (unit < 0)
                    return Fail(escape, L"\\x must be followed by two hexadecimal digits");
                break;
            default:
                // Any other escaped character stands for itself: \" \\ \/ \' and the rest.
                out += e;
                pendingHigh_ = false;
                continue;
            }
            out += static_cast<wchar_t>(unit);
            pendingHigh_ = false;
        }
    }
};

bool NumberIsZero(const std::wstring& literal) {
    for (const wchar_t c : literal) {
        if (c == L'e' || c == L'E')
            break;
        if (c >= L'1' && c <= L'9')
            return false;
    }
    return true;
}

// Renders a number with a fraction or exponent like C's "%.15g", but from the decimal digits
// as written, so that both platforms and any exponent give the same, exact text.
std::wstring FormatFractionalNumber(const std::wstring& literal) {
    const bool negative = !literal.empty() && literal[0] == L'-';
    std::wstring digits;
    long long pointAt = 0; // the value is 0.<digits> times ten to the power pointAt
    bool seenPoint = false;
    std::size_t p = negative ? 1 : 0;
    for (; p < literal.size() && literal[p] != L'e' && literal[p] != L'E'; ++p) {
        if (literal[p] == L'.') {
            seenPoint = true;
            continue;
        }
        if (digits.empty() && literal[p] == L'0') {
            if (seenPoint)
                --pointAt;
            continue;
        }
        digits += literal[p];
        if (!seenPoint)
            ++pointAt;
    }
    if (p < literal.size()) {
        ++p;
        bool negativeExponent = false;
        if (literal[p] == L'+' || literal[p] == L'-')
            negativeExponent = literal[p++] == L'-';
        long long exponent = 0; // at most 18 significant digits: checked by the parser
        for (; p < literal.size(); ++p)
            exponent = exponent * 10 + (literal[p] - L'0');
        pointAt += negativeExponent ? -exponent : exponent;
    }
    if (digits.empty())
        return negative ? L"-0" : L"0";

    constexpr std::size_t kPrecision = 15;
    if (digits.size() > kPrecision) {
        const bool roundUp = digits[kPrecision] >= L'5';
        digits.resize(kPrecision);
        if (roundUp) {
            std::size_t i = kPrecision;
            while (i > 0 && digits[i - 1] == L'9')
                digits[--i] = L'0';
            if (i == 0) {
                digits.insert(digits.begin(), L'1');
                digits.pop_back();
                ++pointAt;
            } else {
                ++digits[i - 1];
            }
        }
    }
    while (digits.size() > 1 && digits.back() == L'0')
        digits.pop_back();

    std::wstring out = negative ? L"-" : L"";
    const long long exponent = pointAt - 1; // of the first digit
    if (exponent >= -4 && exponent < static_cast<long long>(kPrecision)) {
        if (exponent < 0) {
            out += L"0.";
            out.append(static_cast<std::size_t>(-exponent - 1), L'0');
            out += digits;
        } else {
            const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= whole) {
                out += digits;
                out.append(whole - digits.size(), L'0');
            } else {
                out.append(digits, 0, whole);
                out += L'.';
                out.append(digits, whole, std::wstring::npos);
            }
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += L'.';
        out.append(digits, 1, std::wstring::npos);
    }
    out += exponent < 0 ? L"e-" : L"e+";
    const unsigned long long magnitude = exponent < 0
                                             ? 0ULL - static_cast<unsigned long long>(exponent)
                                             : static_cast<unsigned long long>(exponent);
    if (magnitude < 10)
        out += L'0';
    out += std::to_wstring(magnitude);
    return out;
}

void AppendJsonString(std::wstring& out, const std::wstring& text) {
    out += L'"';
    for (const wchar_t c : text) {
        switch (c) {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\b':
            out += L"\\b";
            break;
        case L'\f':
            out += L"\\f";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            if (Unit(c) < 0x20) {
                static constexpr wchar_t kHex[] = L"0123456789abcdef";
                out += L"\\u00";
                out += kHex[Unit(c) >> 4];
                out += kHex[Unit(c) & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += L'"';
}

void AppendJson(std::wstring& out, const TJsonValue& value) {
    switch (value.Kind) {
    case TJsonKind::Null:
        out += L"null";
        break;
    case TJsonKind::False:
        out += L"false";
        break;
    case TJsonKind::True:
        out += L"true";
        break;
    case TJsonKind::Number:
        out += value.Text;
        break;
    case TJsonKind::String:
        AppendJsonString(out, value.Text);
        break;
    case TJsonKind::Object:
        out += L'{';
        for (std::size_t i = 0; i < value.Members.size(); ++i) {
            if (i > 0)
                out += L',';
            AppendJsonString(out, value.Members[i].Name);
            out += L':';
            AppendJson(out, value.Members[i].Value);
        }
        out += L'}';
        break;
    case TJsonKind::Array:
        out += L'[';
        for (std::size_t i = 0; i < value.Items.size(); ++i) {
            if (i > 0)
                out += L',';
            AppendJson(out, value.Items[i]);
        }
        out += L']';
        break;
    }
}

} // namespace

std::wstring JsonQuote(const std::wstring& text) {
    std::wstring out;
    AppendJsonString(out, text);
    return out;
}

const TJsonValue* TJsonValue::Find(const std::wstring& name) const {
    if (Kind != TJsonKind::Object)
        return nullptr;
    // The last member of a name wins, so search from the end.
    for (auto it = Members.rbegin(); it != Members.rend(); ++it) {
        if (it->Name == name)
            return &it->Value;
    }
    return nullptr;
}

bool operator==(const TJsonValue& a, const TJsonValue& b) {
    if (a.Kind != b.Kind || a.Text != b.Text || a.IsInteger != b.IsInteger ||
        a.Members.size() != b.Members.size() || a.Items != b.Items)
        return false;
    for (std::size_t i = 0; i < a.Members.size(); ++i) {
        if (a.Members[i].Name != b.Members[i].Name || !(a.Members[i].Value == b.Members[i].Value))
            return false;
    }
    return true;
}

std::wstring TJsonError::Describe() const {
    return L"line " + std::to_wstring(Line) + L", column " + std::to_wstring(Column) + L": " +
           Reason;
}

bool ParseJson(const std::wstring& text, TJsonValue& value, TJsonError& error) {
    TParser parser(text);
    TJsonValue parsed;
    if (!parser.Run(parsed)) {
        error = parser.Error();
        return false;
    }
    value = std::move(parsed);
    return true;
}

std::wstring ValueAsText(const TJsonValue& value) {
    switch (value.Kind) {
    case TJsonKind::Null:
        return L"null";
    case TJsonKind::False:
        return L"false";
    case TJsonKind::True:
        return L"true";
    case TJsonKind::Number:
        return value.IsInteger ? value.Text : FormatFractionalNumber(value.Text);
    case TJsonKind::String:
        return value.Text;
    case TJsonKind::Object:
    case TJsonKind::Array:
        return ValueToJson(value);
    }
    return std::wstring();
}

bool ValueAsBoolean(const TJsonValue& value) {
    switch (value.Kind) {
    case TJsonKind::Null:
    case TJsonKind::False:
        return false;
    case TJsonKind::True:
        return true;
    case TJsonKind::Number:
        return !NumberIsZero(value.Text);
    case TJsonKind::String:
        return !value.Text.empty();
    case TJsonKind::Object:
    case TJsonKind::Array:
        return true;
    }
    return false;
}

std::wstring ValueToJson(const TJsonValue& value) {
    std::wstring out;
    AppendJson(out, value);
    return out;
}

const wchar_t* JsonKindName(TJsonKind kind) {
    switch (kind) {
    case TJsonKind::Null:
        return L"null";
    case TJsonKind::False:
    case TJsonKind::True:
        return L"a Boolean";
    case TJsonKind::Number:
        return L"a number";
    case TJsonKind::String:
        return L"a string";
    case TJsonKind::Object:
        return L"an object";
    case TJsonKind::Array:
        return L"an array";
    }
    return L"a value";
}
