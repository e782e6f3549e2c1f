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

bool CheckSettings(std::string_view bytes, const std::string& file, unsigned codePage,
                   TDiagnostics& diagnostics, TCheckedSettings& checked) {
    const std::size_t errorsBefore = diagnostics.ErrorCount();
    std::string problem;
    const std::optional<std::wstring> decoded = DecodeDocument(bytes, codePage, problem);
    if (!decoded) {
        diagnostics.Error(file, 0, "the settings cannot be decoded: " + problem);
        return false;
    }
    // The installer reads the text through its line list, as here.
    const std::wstring text = NormaliseLines(*decoded);
    if (text.empty()) {
        diagnostics.Error(file, 0, "the settings document is empty");
        return false;
    }
    TJsonValue root;
    TJsonError error;
    if (!ParseJson(text, root, error)) {
        diagnostics.Error(file, error.Line,
                          "the settings cannot be read: " + Utf8(error.Reason) + " (column " +
                              std::to_string(error.Column) + ")");
        return false;
    }
    if (root.Kind != TJsonKind::Object) {
        diagnostics.Error(
            file, 1, std::string("the settings must be a JSON object, not ") + KindName(root.Kind));
        return false;
    }

    std::vector<std::size_t> lines = TopLevelMemberLines(text);
    if (lines.size() != root.Members.size())
        lines.assign(root.Members.size(), 0); // a layout the scan cannot follow: no lines
    std::map<std::wstring, std::vector<std::size_t>> seen; // member name -> its indexes
    for (std::size_t i = 0; i < root.Members.size(); ++i)
        seen[root.Members[i].Name].push_back(i);

    for (std::size_t i = 0; i < root.Members.size(); ++i) {
        const std::wstring& name = root.Members[i].Name;
        if (KnownKey(name) != nullptr || seen[name].front() != i)
            continue;
        if (const TSettingKey* near = KeyIgnoringCase(name))
            diagnostics.Warning(file, lines[i],
                                "unknown key " + Quoted(name) + ": did you mean " +
                                    Quoted(near->Name) +
                                    "? Keys are case-sensitive; the installer ignores this one");
        else
            diagnostics.Warning(file, lines[i],
                                "unknown key " + Quoted(name) + ": the installer ignores it");
    }

    for (const TSettingKey& key : kSettingKeys) {
        const auto found = seen.find(key.Name);
        if (found == seen.end()) {
            if (key.Required)
                diagnostics.Error(
                    file, 0,
                    "the required key " + Quoted(key.Name) + " is missing (" +
                        (key.Type == TSettingType::Boolean ? "true or false" : "a string") + ")");
            continue;
        }
        const std::vector<std::size_t>& at = found->second;
        const std::size_t last = at.back();
        if (at.size() > 1)
            diagnostics.Warning(file, lines[last],
                                "the key " + Quoted(key.Name) + " is given " +
                                    std::to_string(at.size()) +
                                    " times; the installer takes this last value");
        const TJsonValue& value = root.Members[last].Value;
        if (key.Type == TSettingType::Boolean && value.Kind != TJsonKind::True &&
            value.Kind != TJsonKind::False) {
            std::string message = "the key " + Quoted(key.Name) + " must be true or false, not " +
                                  KindName(value.Kind);
            if (value.Kind == TJsonKind::String)
                message += " (the installer would read " + Quoted(value.Text) + " as " +
                           (ValueAsBoolean(value) ? "true" : "false") + ")";
            diagnostics.Error(file, lines[last], message);
        } else if (key.Type == TSettingType::String && value.Kind != TJsonKind::String) {
            diagnostics.Error(file, lines[last],
                              "the key " + Quoted(key.Name) + " must be a string, not " +
                                  KindName(value.Kind) + "; write it in quotes");
        }
    }
    if (diagnostics.ErrorCount() != errorsBefore)
        return false;

    // The installer's own reader must accept it as well; its folders do not matter here.
    TCheckedSettings result;
    try {
        const TSettingsFolders folders{[] { return std::wstring(L"C:\\AppData"); },
                                       [] { return std::wstring(L"C:\\LocalAppData"); }};
        ReadInstallerSettings(text, result.Settings, folders);
    } catch (const EInstallerError& e) {
        diagnostics.Error(file, 0, Utf8(e.Message()));
        return false;
    }

    auto lineOf = [&](const wchar_t* key) { return lines[seen[key].back()]; };
    const TInstallerSettings& s = result.Settings;
    if (!IsPlainFolderName(s.FProgramDirName))
        diagnostics.Error(file, lineOf(L"ProgramDirName"),
                          "ProgramDirName must be one folder name (not empty, no \\ / : * ? \" < > "
                          "|): the product is installed into it and the uninstaller empties it");
    if (s.FMainProg.empty())
        diagnostics.Error(file, lineOf(L"MainProg"),
                          "MainProg is empty: it must name the product's main program");
    if (seen.count(L"ConfigPathForUinstall") != 0) {
        const TJsonValue* path = root.Find(L"ConfigPathForUinstall");
        if (!path->Text.empty() && IsWholeFolder(path->Text))
            diagnostics.Error(file, lineOf(L"ConfigPathForUinstall"),
                              "ConfigPathForUinstall names a whole folder (" + Quoted(path->Text) +
                                  "), which the uninstaller would empty; name the product's own "
                                  "folder in it, such as \"%appdata%\\\\MyProduct\"");
    }
    if (diagnostics.ErrorCount() != errorsBefore)
        return false;

    result.ResourceBytes = "\xEF\xBB\xBF" + EncodeUtf8(*decoded);
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
