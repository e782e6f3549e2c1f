#include "tools/packer/SettingsCheck.h"

#include "sys/PlatformCodePage.h"
#include "settings/JsonReader.h"
#include "sys/Error.h"
#include "sys/TextEncoding.h"
#include "tools/packer/JsonMemberLines.h"

#include <algorithm>
#include <map>

namespace {

std::string Utf8(const std::wstring& text) {
    return EncodeUtf8(text);
}

std::string Quoted(const std::wstring& text) {
    return "\"" + Utf8(text) + "\"";
}

std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::string KindName(TJsonKind kind) {
    return Utf8(JsonKindName(kind));
}

const TSettingKey* KnownKey(const std::wstring& name) {
    for (const TSettingKey& key : kSettingKeys)
        if (name == key.Name)
            return &key;
    return nullptr;
}

// The known key that `name` would be with letter case ignored, or nullptr.
const TSettingKey* KeyIgnoringCase(const std::wstring& name) {
    for (const TSettingKey& key : kSettingKeys)
        if (AsciiLower(name) == AsciiLower(key.Name))
            return &key;
    return nullptr;
}

std::optional<std::wstring> DecodeDocument(std::string_view bytes, unsigned codePage,
                                           std::string& problem) {
    switch (DetectByteOrderMark(bytes)) {
    case TByteOrderMark::Utf16LE:
        return DecodeUtf16LE(bytes.substr(2));
    case TByteOrderMark::Utf16BE:
        return DecodeUtf16BE(bytes.substr(2));
    case TByteOrderMark::Utf8:
        if (auto text = DecodeUtf8Strict(bytes.substr(3)))
            return text;
        problem = "it is marked as UTF-8 but is not valid UTF-8";
        return std::nullopt;
    case TByteOrderMark::None:
        break;
    }
    if (auto text = DecodeUtf8Strict(bytes))
        return text;
    if (codePage != 0) {
        try {
            return MakeCodePage(codePage)->ToWide(bytes);
        } catch (const EInstallerError&) {
            problem = "code page " + std::to_string(codePage) + " is not known on this system";
            return std::nullopt;
        }
    }
    problem = "it is not UTF-8 and has no byte-order mark; save it as UTF-8, or name its "
              "code page with --settings-codepage (936 for GBK)";
    return std::nullopt;
}

// A folder name that keeps the installation inside the chosen parent folder.
bool IsPlainFolderName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..")
        return false;
    return name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

// True when emptying `path` on uninstalling would empty a whole user or system folder.
bool IsWholeFolder(const std::wstring& path) {
    std::wstring trimmed = AsciiLower(path);
    while (!trimmed.empty() && (trimmed.back() == L'\\' || trimmed.back() == L'/'))
        trimmed.pop_back();
    if (trimmed.empty() || trimmed == L"%appdata%" || trimmed == L"%localappdata%")
        return true;
    return trimmed.size() == 2 && trimmed[1] == L':';
}

} // namespace

std::optional<std::wstring> DecodeSettingsResource(std::string_view bytes) {
    std::string problem;
    auto text = DecodeDocument(bytes, 0, problem);
    if (text)
        *text = NormaliseLines(*text);
    return text;
}

namespace {

// The settings document as read: its text, its JSON, and where each member stands.
struct TParsedSettings {
    std::wstring decoded; // as decoded, for the resource
    std::wstring text;    // with its lines normalised, as the installer reads it
    TJsonValue root;
    std::vector<std::size_t> lines;                        // each member's line, or 0
    std::map<std::wstring, std::vector<std::size_t>> seen; // member name -> its indexes

    std::size_t LineOf(const wchar_t* key) const { return lines[seen.at(key).back()]; }
};

// Decodes and parses the document, which must be one JSON object; false after its error.
bool ParseSettingsDocument(std::string_view bytes, const std::string& file, unsigned codePage,
                           TDiagnostics& diagnostics, TParsedSettings& parsed) {
    std::string problem;
    const std::optional<std::wstring> decoded = DecodeDocument(bytes, codePage, problem);
    if (!decoded) {
        diagnostics.Error(file, 0, "the settings cannot be decoded: " + problem);
        return false;
    }
    parsed.decoded = *decoded;
    // The installer reads the text through its line list, as here.
    parsed.text = NormaliseLines(*decoded);
    if (parsed.text.empty()) {
        diagnostics.Error(file, 0, "the settings document is empty");
        return false;
    }
    TJsonError error;
    if (!ParseJson(parsed.text, parsed.root, error)) {
        diagnostics.Error(file, error.Line,
                          "the settings cannot be read: " + Utf8(error.Reason) + " (column " +
                              std::to_string(error.Column) + ")");
        return false;
    }
    if (parsed.root.Kind != TJsonKind::Object) {
        diagnostics.Error(file, 1,
                          std::string("the settings must be a JSON object, not ") +
                              KindName(parsed.root.Kind));
        return false;
    }
    const auto& members = parsed.root.Members;
    parsed.lines = TopLevelMemberLines(parsed.text);
    if (parsed.lines.size() != members.size())
        parsed.lines.assign(members.size(), 0); // a layout the scan cannot follow: no lines
    for (std::size_t i = 0; i < members.size(); ++i)
        parsed.seen[members[i].Name].push_back(i);
    return true;
}

// A warning for each key the installer does not know, naming the known key it may be a typo of.
void WarnOfUnknownKeys(const TParsedSettings& parsed, const std::string& file,
                       TDiagnostics& diagnostics) {
    const auto& members = parsed.root.Members;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const std::wstring& name = members[i].Name;
        if (KnownKey(name) != nullptr || parsed.seen.at(name).front() != i)
            continue;
        if (const TSettingKey* near = KeyIgnoringCase(name))
            diagnostics.Warning(file, parsed.lines[i],
                                "unknown key " + Quoted(name) + ": did you mean " +
                                    Quoted(near->Name) +
                                    "? Keys are case-sensitive; the installer ignores this one");
        else
            diagnostics.Warning(file, parsed.lines[i],
                                "unknown key " + Quoted(name) + ": the installer ignores it");
    }
}

// Every required key present, each key given once (a warning otherwise) and of its type.
void CheckKeysAndTypes(const TParsedSettings& parsed, const std::string& file,
                       TDiagnostics& diagnostics) {
    for (const TSettingKey& key : kSettingKeys) {
        const auto found = parsed.seen.find(key.Name);
        if (found == parsed.seen.end()) {
            if (key.Required)
                diagnostics.Error(
                    file, 0,
                    "the required key " + Quoted(key.Name) + " is missing (" +
                        (key.Type == TSettingType::Boolean ? "true or false" : "a string") + ")");
            continue;
        }
        const std::vector<std::size_t>& at = found->second;
        const std::size_t last = at.back();
        const std::size_t line = parsed.lines[last];
        if (at.size() > 1)
            diagnostics.Warning(file, line,
                                "the key " + Quoted(key.Name) + " is given " +
                                    std::to_string(at.size()) +
                                    " times; the installer takes this last value");
        const TJsonValue& value = parsed.root.Members[last].Value;
        if (key.Type == TSettingType::Boolean && value.Kind != TJsonKind::True &&
            value.Kind != TJsonKind::False) {
            std::string message = "the key " + Quoted(key.Name) + " must be true or false, not " +
                                  KindName(value.Kind);
            if (value.Kind == TJsonKind::String)
                message += " (the installer would read " + Quoted(value.Text) + " as " +
                           (ValueAsBoolean(value) ? "true" : "false") + ")";
            diagnostics.Error(file, line, message);
        } else if (key.Type == TSettingType::String && value.Kind != TJsonKind::String) {
            diagnostics.Error(file, line,
                              "the key " + Quoted(key.Name) + " must be a string, not " +
                                  KindName(value.Kind) + "; write it in quotes");
        }
    }
}

// The values the installer relies on: one folder name to install into, a main program, and a
// data folder that is the product's own.
void CheckValues(const TParsedSettings& parsed, const TInstallerSettings& s,
                 const std::string& file, TDiagnostics& diagnostics) {
    if (!IsPlainFolderName(s.FProgramDirName))
        diagnostics.Error(file, parsed.LineOf(L"ProgramDirName"),
                          "ProgramDirName must be one folder name (not empty, no \\ / : * ? \" < > "
                          "|): the product is installed into it and the uninstaller empties it");
    if (s.FMainProg.empty())
        diagnostics.Error(file, parsed.LineOf(L"MainProg"),
                          "MainProg is empty: it must name the product's main program");
    if (parsed.seen.count(L"ConfigPathForUinstall") != 0) {
        const TJsonValue* path = parsed.root.Find(L"ConfigPathForUinstall");
        if (!path->Text.empty() && IsWholeFolder(path->Text))
            diagnostics.Error(file, parsed.LineOf(L"ConfigPathForUinstall"),
                              "ConfigPathForUinstall names a whole folder (" + Quoted(path->Text) +
                                  "), which the uninstaller would empty; name the product's own "
                                  "folder in it, such as \"%appdata%\\\\MyProduct\"");
    }
}

} // namespace

bool CheckSettings(std::string_view bytes, const std::string& file, unsigned codePage,
                   TDiagnostics& diagnostics, TCheckedSettings& checked) {
    const std::size_t errorsBefore = diagnostics.ErrorCount();
    TParsedSettings parsed;
    if (!ParseSettingsDocument(bytes, file, codePage, diagnostics, parsed))
        return false;
    WarnOfUnknownKeys(parsed, file, diagnostics);
    CheckKeysAndTypes(parsed, file, diagnostics);
    if (diagnostics.ErrorCount() != errorsBefore)
        return false;

    // The installer's own reader must accept it as well; its folders do not matter here.
    TCheckedSettings result;
    try {
        const TSettingsFolders folders{[] { return std::wstring(L"C:\\AppData"); },
                                       [] { return std::wstring(L"C:\\LocalAppData"); }};
        ReadInstallerSettings(parsed.text, result.Settings, folders);
    } catch (const EInstallerError& e) {
        diagnostics.Error(file, 0, Utf8(e.Message()));
        return false;
    }
    CheckValues(parsed, result.Settings, file, diagnostics);
    if (diagnostics.ErrorCount() != errorsBefore)
        return false;

    result.ResourceBytes = "\xEF\xBB\xBF" + EncodeUtf8(parsed.decoded);
    checked = std::move(result);
    return true;
}

std::string MainProgramEntry(const TInstallerSettings& settings) {
    std::string path = EncodeUtf8(settings.FMainProgPath + settings.FMainProg);
    std::replace(path.begin(), path.end(), '\\', '/');
    while (!path.empty() && path.front() == '/')
        path.erase(path.begin());
    return path;
}
