// wintool: the end-to-end tests' eyes and hands on a program's windows. It runs in the same
// Wine prefix as the program under test (wine wintool.exe COMMAND ...) and finds, reads and
// operates that program's real windows, message boxes included, from outside the program.
//
//   list [--exe NAME]
//       Every top-level window, visible or not (of the processes whose executable file name is
//       NAME, case-insensitively), each followed by its child windows, indented by depth.
//   wait --exe NAME [--title TEXT] [--title-has TEXT] [--class CLASS] [--visible]
//        [--timeout MS]
//       Waits for a matching top-level window and prints the matches like list.
//   msgbox --exe NAME [--timeout MS]
//       Waits for a visible message box (class #32770) of the process; prints its title, its
//       icon, its message text (the static control with id 0xFFFF) and its visible buttons.
//       The icon is recognised by its pixels on the screen: "unknown" while something covers it.
//   press --exe NAME [--button TEXT | --id ID] [--timeout MS]
//       Like msgbox, then presses that button (default: the first one) and waits until the box
//       has gone. TEXT is compared case-insensitively, ignoring the mnemonic '&'.
//   settext --exe NAME --class CLASS [--id ID] --text TEXT
//       Sets the text of the process's first child window of that class (and id) with
//       WM_SETTEXT, as typing it would leave it.
//   close --exe NAME
//       Posts WM_CLOSE to the process's visible top-level windows (status 1 if it has none).
//   pids --exe NAME
//       The ids of the running processes of that name, one a line (status 1 if there are none).
//   wait-exit --exe NAME [--timeout MS]
//       Waits until no process of that name is running.
//   accessible --exe NAME [--button TEXT] [--events MS] [--timeout MS]
//       Waits for the process's visible main window (an unowned one) and reads its client area
//       as a screen reader does (MSAA: AccessibleObjectFromWindow, AccessibleChildren): the
//       object itself, then each child, with role, state, location, what a hit test at the
//       child's middle finds, default action, value and name. With --button, then does the
//       default action of the first child named TEXT (exactly) and prints "pressed". With
//       --events, then prints for MS ms the focus and reorder events raised for the client
//       area (watched from before the press).
//   exit-code [--timeout MS] -- PROGRAM [ARGS...]
//       Starts PROGRAM (a Windows or an absolute Unix path), waits for it and prints its whole
//       32-bit exit code, which wine itself only passes on modulo 256. With --timeout, a
//       program still running then is ended and the status is 1.
//   responsive --exe NAME [--timeout MS]
//       Waits for the process's visible main window (as wait --visible, an unowned one), then,
//       until that process has ended, sends the window WM_NULL about every 100 ms and waits at
//       most 1000 ms for each answer. Prints the probes sent, the slowest answer and the probes
//       left unanswered (also those the system itself took for hung, IsHungAppWindow), and says
//       on standard error when each one went unanswered; the status is 4 when any did. The
//       timeout bounds the whole watch: the process still running then gives status 1.
//   help
//
// Exit status: 0 done; 1 nothing found, or timed out (MS, default 20000); 2 bad usage;
// 3 failure (a program that cannot be started); 4 a window did not answer (responsive).
//
// Output is UTF-8, one record a line, made of KEY=VALUE fields separated by single spaces:
//   window hwnd=0x00010060 pid=292 exe=setup.exe class=TFrmCommInst visible=1 enabled=1
//          owner=0x00000000 style=0x16000000 exstyle=0x00040000 rect=L,T,R,B client=L,T,R,B
//          title=TEXT                                                (one line)
//     child hwnd=0x00010062 parent=0x00010060 class=Edit id=3 visible=1 enabled=1
//          style=0x50010080 rect=L,T,R,B [pos=N] text=TEXT           (one line)
//          (pos= is a progress bar's position)
//   msgbox hwnd=0x00010070 pid=292 exe=setup.exe icon=error|warning|information|question|
//          none|unknown                                              (one line)
//   title=TEXT
//   text=TEXT
//   button id=2 default=0 text=Cancel
//   pressed id=2 text=Cancel
//   exit-code=1603
//   accessible hwnd=0x00010060 pid=292 exe=setup.exe children=9 focus=self|N|none role=client
//          state=0x00100004 states=focused,focusable location=L,T,W,H hit=self|N|none
//          action=WORD value=WORD name=TEXT                          (one line)
//     element id=1 role=pushbutton|statictext|text|progressbar|0xNN state=0x00100000
//          states=focusable|unavailable|...|- location=L,T,W,H hit=1 action=Press value=
//          name=TEXT                                                 (one line)
//   pressed id=3 name=TEXT
//   event focus|reorder child=self|N
//          (location: screen coordinates, width and height)
//   watching hwnd=0x00010060 pid=292 exe=setup.exe       (responsive: the first probe follows)
//   responsive hwnd=0x00010060 pid=292 exe=setup.exe probes=57 slowest=12 unanswered=0
//          (slowest: the longest answer, in ms)                      (one line)
// A window's rect and client are screen coordinates; a child's rect is relative to the client
// area of its top-level window. A free-text field (title=, text=) always ends its line; in it
// a line break is written \n, a carriage return \r, a tab \t and other control characters
// \xHH, while backslashes stay as they are so that Windows paths read naturally. Other values
// never hold a space: a space is written %20 and a percent sign %25.

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#include <tlhelp32.h>

#include "sys/Win32Handle.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;
constexpr int kExitNotResponding = 4;

constexpr DWORD kDefaultTimeoutMs = 20000;
constexpr DWORD kPollMs = 50;
// A program that does not answer a message within this time is treated as hung.
constexpr UINT kSendTimeoutMs = 3000;
constexpr int kMessageTextId = 0xFFFF;
// responsive: a probe every this many ms, each answered within the limit or counted as not.
constexpr DWORD kProbeIntervalMs = 100;
constexpr UINT kProbeLimitMs = 1000;

const wchar_t kUsage[] =
    L"usage: wintool COMMAND [OPTIONS]\n"
    L"  list [--exe NAME]\n"
    L"  wait --exe NAME [--title TEXT] [--title-has TEXT] [--class CLASS] [--visible]"
    L" [--timeout MS]\n"
    L"  msgbox --exe NAME [--timeout MS]\n"
    L"  press --exe NAME [--button TEXT | --id ID] [--timeout MS]\n"
    L"  settext --exe NAME --class CLASS [--id ID] --text TEXT\n"
    L"  close --exe NAME\n"
    L"  pids --exe NAME\n"
    L"  wait-exit --exe NAME [--timeout MS]\n"
    L"  accessible --exe NAME [--button TEXT] [--events MS] [--timeout MS]\n"
    L"  exit-code [--timeout MS] -- PROGRAM [ARGS...]\n"
    L"  responsive --exe NAME [--timeout MS]\n"
    L"  help\n"
    L"Exit status: 0 done, 1 not found or timed out (default 20000 ms), 2 bad usage,"
    L" 3 failure, 4 a window did not answer within 1000 ms.\n"
    L"Output: UTF-8, one record a line of KEY=VALUE fields; title= and text= end the line.\n";

// ---------------------------------------------------------------------------------------------
// Output: UTF-8 bytes straight to the standard handles, so that bash reads what it greps.

std::string ToUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

void WriteBytes(DWORD stdHandle, std::string_view bytes) {
    const HANDLE out = GetStdHandle(stdHandle);
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0)
            return;
        bytes.remove_prefix(written);
    }
}

void PrintLine(std::wstring_view line) {
    WriteBytes(STD_OUTPUT_HANDLE, ToUtf8(line) + "\n");
}

void PrintError(std::wstring_view message) {
    WriteBytes(STD_ERROR_HANDLE, "wintool: " + ToUtf8(message) + "\n");
}

std::wstring Hex(uint32_t value, int digits = 8) {
    wchar_t buffer[16];
    swprintf(buffer, 16, L"0x%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

std::wstring HandleText(HWND window) {
    return Hex(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)));
}

std::wstring RectText(const RECT& r) {
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
           std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom);
}

// A free-text field: the rest of the line.
std::wstring FreeText(std::wstring_view text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            out += L"\\n";
            ++i;
        } else if (c == L'\n') {
            out += L"\\n";
        } else if (c == L'\r') {
            out += L"\\r";
        } else if (c == L'\t') {
            out += L"\\t";
        } else if (c < 0x20 || c == 0x7F) {
            wchar_t buffer[8];
            swprintf(buffer, 8, L"\\x%02X", static_cast<unsigned>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out;
}

// A value in the middle of a line: one word.
std::wstring Word(std::wstring_view text) {
    std::wstring out;
    for (const wchar_t c : text) {
        if (c == L' ')
            out += L"%20";
        else if (c == L'%')
            out += L"%25";
        else if (c < 0x20 || c == 0x7F)
            out += L'?';
        else
            out += c;
    }
    return out;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The label as the user reads it: "&Yes" is "Yes", "&&" is "&".
std::wstring WithoutMnemonic(std::wstring_view text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == L'&')
            continue;
        out += text[i];
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Processes and windows.

using ProcessMap = std::map<DWORD, std::wstring>; // pid -> executable file name

ProcessMap SnapshotProcesses() {
    ProcessMap processes;
    THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return processes;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snapshot.Get(), &entry); ok;
         ok = Process32NextW(snapshot.Get(), &entry))
        processes[entry.th32ProcessID] = entry.szExeFile;
    return processes;
}

std::vector<DWORD> PidsOf(const ProcessMap& processes, std::wstring_view exe) {
    std::vector<DWORD> pids;
    for (const auto& [pid, name] : processes)
        if (EqualNoCase(name, exe) && pid != GetCurrentProcessId())
            pids.push_back(pid);
    return pids;
}

DWORD WindowPid(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// All descendants, each parent before its children.
std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

// WM_GETTEXT, which the system marshals across processes; a hung program gets a timeout rather
// than hanging the test, and then the text the window manager keeps.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &length)) {
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        if (SendMessageTimeoutW(window, WM_GETTEXT, length + 1,
                                reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                                kSendTimeoutMs, &copied)) {
            text.resize(std::min<size_t>(copied, length));
            return text;
        }
    }
    wchar_t buffer[1024] = L"";
    InternalGetWindowText(window, buffer, 1024);
    return buffer;
}

uint32_t StyleOf(HWND window) {
    return static_cast<uint32_t>(GetWindowLongW(window, GWL_STYLE));
}

RECT RectIn(HWND window, HWND reference) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, reference, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// " pos=N" for a progress bar, read with PBM_GETPOS; "" for every other window.
std::wstring ProgressField(HWND window) {
    if (!EqualNoCase(ClassOf(window), PROGRESS_CLASSW))
        return L"";
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutW(window, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &position))
        return L" pos=?";
    return L" pos=" + std::to_wstring(static_cast<int>(position));
}

void PrintWindowRecord(HWND top, const ProcessMap& processes) {
    const DWORD pid = WindowPid(top);
    const auto found = processes.find(pid);
    RECT window{}, client{};
    GetWindowRect(top, &window);
    GetClientRect(top, &client);
    MapWindowPoints(top, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
    PrintLine(L"window hwnd=" + HandleText(top) + L" pid=" + std::to_wstring(pid) + L" exe=" +
              Word(found != processes.end() ? found->second : L"?") + L" class=" +
              Word(ClassOf(top)) + L" visible=" + (IsWindowVisible(top) ? L"1" : L"0") +
              L" enabled=" + (IsWindowEnabled(top) ? L"1" : L"0") + L" owner=" +
              HandleText(GetWindow(top, GW_OWNER)) + L" style=" + Hex(StyleOf(top)) + L" exstyle=" +
              Hex(static_cast<uint32_t>(GetWindowLongW(top, GWL_EXSTYLE))) + L" rect=" +
              RectText(window) + L" client=" + RectText(client) + L" title=" +
              FreeText(TextOf(top)));
    for (const HWND child : ChildWindows(top)) {
        const HWND parent = GetAncestor(child, GA_PARENT);
        std::wstring indent = L"  ";
        for (HWND up = parent; up && up != top; up = GetAncestor(up, GA_PARENT))
            indent += L"  ";
        PrintLine(indent + L"child hwnd=" + HandleText(child) + L" parent=" + HandleText(parent) +
                  L" class=" + Word(ClassOf(child)) + L" id=" +
                  std::to_wstring(static_cast<unsigned>(GetDlgCtrlID(child))) + L" visible=" +
                  (IsWindowVisible(child) ? L"1" : L"0") + L" enabled=" +
                  (IsWindowEnabled(child) ? L"1" : L"0") + L" style=" + Hex(StyleOf(child)) +
                  L" rect=" + RectText(RectIn(child, top)) + ProgressField(child) + L" text=" +
                  FreeText(TextOf(child)));
    }
}

// Calls `done` every poll interval until it returns true or the time is up.
template <typename Predicate> bool PollUntil(DWORD timeoutMs, Predicate done) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs);
    }
}

// ---------------------------------------------------------------------------------------------
// Message boxes.

struct TButton {
    HWND window;
    int id;
    bool isDefault;
    std::wstring label; // without the mnemonic
};

struct TMessageBox {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text;
    HWND icon = nullptr; // the visible SS_ICON static, if any
    std::vector<TButton> buttons;
};

// Unused buttons of a message box exist but are hidden, so only visible ones count.
std::optional<TMessageBox> ReadMessageBox(HWND box) {
    if (ClassOf(box) != L"#32770" || !IsWindowVisible(box))
        return std::nullopt;
    TMessageBox result;
    result.window = box;
    result.title = TextOf(box);
    for (const HWND child : ChildWindows(box)) {
        const std::wstring cls = ClassOf(child);
        const int id = GetDlgCtrlID(child);
        const uint32_t style = StyleOf(child);
        if (EqualNoCase(cls, L"Static") && (id & 0xFFFF) == kMessageTextId) {
            result.text = TextOf(child);
        } else if (EqualNoCase(cls, L"Static") && (style & SS_TYPEMASK) == SS_ICON &&
                   IsWindowVisible(child)) {
            result.icon = child;
        } else if (EqualNoCase(cls, L"Button") && IsWindowVisible(child)) {
            result.buttons.push_back({child, id, (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
                                      WithoutMnemonic(TextOf(child))});
        }
    }
    if (result.buttons.empty()) // not yet shown in full, or not a message box
        return std::nullopt;
    return result;
}

std::optional<TMessageBox> FindMessageBox(std::wstring_view exe) {
    const std::vector<DWORD> pids = PidsOf(SnapshotProcesses(), exe);
    for (const HWND window : TopLevelWindows()) { // topmost first
        if (std::find(pids.begin(), pids.end(), WindowPid(window)) == pids.end())
            continue;
        if (auto box = ReadMessageBox(window))
            return box;
    }
    return std::nullopt;
}

// Which system icon the box shows. The icon belongs to the other process, so it is recognised by
// its pixels: each candidate is drawn here over black and over white, and the pixels that come
// out the same both times (the opaque ones) must match the screen.
class TIconMatcher {
public:
    explicit TIconMatcher(HWND iconWindow) : window_(iconWindow) {
        RECT r{};
        GetClientRect(window_, &r);
        width_ = r.right;
        height_ = r.bottom;
    }

    std::wstring Kind() const {
        if (width_ <= 0 || height_ <= 0 || width_ > 256 || height_ > 256)
            return L"unknown";
        const std::vector<uint32_t> screen = CaptureScreen();
        if (screen.empty())
            return L"unknown";
        struct Candidate {
            const wchar_t* resource;
            const wchar_t* name;
        };
        const Candidate candidates[] = {{IDI_HAND, L"error"},
                                        {IDI_EXCLAMATION, L"warning"},
                                        {IDI_ASTERISK, L"information"},
                                        {IDI_QUESTION, L"question"}};
        const wchar_t* best = L"unknown";
        double bestScore = 0.9; // the share of opaque pixels that must match
        for (const Candidate& candidate : candidates) {
            const double score = Score(LoadIconW(nullptr, candidate.resource), screen);
            if (score > bestScore) {
                bestScore = score;
                best = candidate.name;
            }
        }
        return best;
    }

private:
    class TScreenDC {
    public:
        TScreenDC() : dc_(GetDC(nullptr)) {}
        ~TScreenDC() {
            if (dc_)
                ReleaseDC(nullptr, dc_);
        }
        TScreenDC(const TScreenDC&) = delete;
        TScreenDC& operator=(const TScreenDC&) = delete;
        HDC Get() const { return dc_; }

    private:
        HDC dc_;
    };

    // Draws into a 32-bit top-down DIB of the icon's size and returns its pixels.
    template <typename Paint> std::vector<uint32_t> Render(Paint paint) const {
        TScreenDC screen;
        TMemoryDC memory(CreateCompatibleDC(screen.Get()));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        TGdiObject bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!memory || !bitmap || !bits)
            return {};
        const HGDIOBJ old = SelectObject(memory.Get(), bitmap.Get());
        const bool ok = paint(memory.Get(), screen.Get());
        GdiFlush();
        std::vector<uint32_t> pixels;
        if (ok) {
            const auto* p = static_cast<const uint32_t*>(bits);
            pixels.assign(p, p + static_cast<size_t>(width_) * height_);
            for (uint32_t& pixel : pixels)
                pixel &= 0x00FFFFFF;
        }
        SelectObject(memory.Get(), old);
        return pixels;
    }

    std::vector<uint32_t> CaptureScreen() const {
        POINT origin{0, 0};
        ClientToScreen(window_, &origin);
        return Render([&](HDC memory, HDC screen) {
            return BitBlt(memory, 0, 0, width_, height_, screen, origin.x, origin.y, SRCCOPY) !=
                   FALSE;
        });
    }

    std::vector<uint32_t> DrawOver(HICON icon, COLORREF background) const {
        return Render([&](HDC memory, HDC) {
            const RECT all{0, 0, width_, height_};
            TGdiObject brush(CreateSolidBrush(background));
            FillRect(memory, &all, static_cast<HBRUSH>(brush.Get()));
            return DrawIconEx(memory, 0, 0, icon, width_, height_, 0, nullptr, DI_NORMAL) != FALSE;
        });
    }

    double Score(HICON icon, const std::vector<uint32_t>& screen) const {
        if (!icon)
            return 0;
        const std::vector<uint32_t> overBlack = DrawOver(icon, RGB(0, 0, 0));
        const std::vector<uint32_t> overWhite = DrawOver(icon, RGB(255, 255, 255));
        if (overBlack.size() != screen.size() || overWhite.size() != screen.size())
            return 0;
        size_t opaque = 0, matching = 0;
        for (size_t i = 0; i < screen.size(); ++i) {
            if (overBlack[i] != overWhite[i])
                continue;
            ++opaque;
            if (Close(overBlack[i], screen[i]))
                ++matching;
        }
        return opaque == 0 ? 0 : static_cast<double>(matching) / static_cast<double>(opaque);
    }

    static bool Close(uint32_t a, uint32_t b) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int delta =
                static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
            if (delta > 16 || delta < -16)
                return false;
        }
        return true;
    }

    HWND window_;
    int width_ = 0;
    int height_ = 0;
};

std::wstring IconKind(const TMessageBox& box) {
    DWORD_PTR icon = 0;
    if (!box.icon || (SendMessageTimeoutW(box.icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG,
                                          kSendTimeoutMs, &icon) &&
                      icon == 0))
        return L"none";
    // The box may be on screen before the icon is painted: give it a moment.
    std::wstring kind;
    PollUntil(1000, [&] {
        kind = TIconMatcher(box.icon).Kind();
        return kind != L"unknown";
    });
    return kind;
}

void PrintMessageBox(const TMessageBox& box, const ProcessMap& processes) {
    const DWORD pid = WindowPid(box.window);
    const auto found = processes.find(pid);
    PrintLine(L"msgbox hwnd=" + HandleText(box.window) + L" pid=" + std::to_wstring(pid) +
              L" exe=" + Word(found != processes.end() ? found->second : L"?") + L" icon=" +
              IconKind(box));
    PrintLine(L"title=" + FreeText(box.title));
    PrintLine(L"text=" + FreeText(box.text));
    for (const TButton& button : box.buttons)
        PrintLine(L"button id=" + std::to_wstring(button.id) + L" default=" +
                  (button.isDefault ? L"1" : L"0") + L" text=" + FreeText(button.label));
}

bool BoxGone(HWND box) {
    return !IsWindow(box) || !IsWindowVisible(box);
}

// ---------------------------------------------------------------------------------------------
// Command line.

struct TOptions {
    std::wstring command;
    std::optional<std::wstring> exe, title, titleHas, windowClass, button, text;
    std::optional<int> id;
    bool visible = false;
    std::optional<DWORD> timeoutMs;
    std::optional<DWORD> eventsMs;     // accessible: how long to watch for events
    std::vector<std::wstring> program; // after "--"

    DWORD Timeout() const { return timeoutMs.value_or(kDefaultTimeoutMs); }
};

struct TUsageError {
    std::wstring message;
};

std::optional<unsigned long> ParseNumber(const std::wstring& text) {
    if (text.empty())
        return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long value = wcstoul(text.c_str(), &end, 0);
    if (*end != L'\0')
        return std::nullopt;
    return value;
}

TOptions ParseArguments(int argc, wchar_t** argv) {
    if (argc < 2)
        throw TUsageError{L"no command given"};
    TOptions options;
    options.command = argv[1];
    static const std::map<std::wstring, std::set<std::wstring>> allowed = {
        {L"list", {L"--exe"}},
        {L"wait", {L"--exe", L"--title", L"--title-has", L"--class", L"--visible", L"--timeout"}},
        {L"msgbox", {L"--exe", L"--timeout"}},
        {L"press", {L"--exe", L"--button", L"--id", L"--timeout"}},
        {L"settext", {L"--exe", L"--class", L"--id", L"--text"}},
        {L"close", {L"--exe"}},
        {L"pids", {L"--exe"}},
        {L"wait-exit", {L"--exe", L"--timeout"}},
        {L"accessible", {L"--exe", L"--button", L"--events", L"--timeout"}},
        {L"exit-code", {L"--timeout", L"--"}},
        {L"responsive", {L"--exe", L"--timeout"}},
        {L"help", {}},
    };
    const auto command = allowed.find(options.command);
    if (command == allowed.end())
        throw TUsageError{L"unknown command: " + options.command};
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (!command->second.count(option))
            throw TUsageError{options.command + L" does not take " + option};
        if (option == L"--") {
            options.program.assign(argv + i + 1, argv + argc);
            break;
        }
        if (option == L"--visible") {
            options.visible = true;
            continue;
        }
        if (i + 1 >= argc)
            throw TUsageError{option + L" needs a value"};
        const std::wstring value = argv[++i];
        if (option == L"--exe")
            options.exe = value;
        else if (option == L"--title")
            options.title = value;
        else if (option == L"--title-has")
            options.titleHas = value;
        else if (option == L"--class")
            options.windowClass = value;
        else if (option == L"--button")
            options.button = value;
        else if (option == L"--text")
            options.text = value;
        else if (option == L"--id" || option == L"--timeout" || option == L"--events") {
            const auto number = ParseNumber(value);
            if (!number)
                throw TUsageError{option + L" needs a number, not " + value};
            if (option == L"--id")
                options.id = static_cast<int>(*number);
            else if (option == L"--events")
                options.eventsMs = static_cast<DWORD>(*number);
            else
                options.timeoutMs = static_cast<DWORD>(*number);
        }
    }
    const bool needsExe =
        options.command != L"list" && options.command != L"exit-code" && options.command != L"help";
    if (needsExe && !options.exe)
        throw TUsageError{options.command + L" needs --exe NAME"};
    if (options.button && options.id)
        throw TUsageError{L"give --button or --id, not both"};
    if (options.command == L"settext" && (!options.windowClass || !options.text))
        throw TUsageError{L"settext needs --class CLASS and --text TEXT"};
    if (options.command == L"exit-code" && options.program.empty())
        throw TUsageError{L"exit-code needs -- PROGRAM [ARGS...]"};
    return options;
}

// Quotes one argument so that the usual command-line parsing gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++i;
            ++backslashes;
        }
        if (i == argument.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        quoted += argument[i];
    }
    return quoted + L"\"";
}

// Wine's own export turns an absolute Unix path into a DOS one; on Windows it does not exist.
std::wstring ProgramPath(const std::wstring& program) {
    if (program.empty() || program[0] != L'/')
        return program;
    using Convert = LPWSTR(CDECL*)(LPCSTR);
    const auto convert = reinterpret_cast<Convert>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name"));
    if (!convert)
        return program;
    // Wine expects the path in the Unix character set, which the tests run as UTF-8.
    LPWSTR dos = convert(ToUtf8(program).c_str());
    if (!dos)
        return program;
    std::wstring result = dos;
    HeapFree(GetProcessHeap(), 0, dos);
    return result;
}

// ---------------------------------------------------------------------------------------------
// Commands.

bool MatchesFilters(HWND window, const TOptions& options) {
    if (options.visible && !IsWindowVisible(window))
        return false;
    if (options.windowClass && !EqualNoCase(ClassOf(window), *options.windowClass))
        return false;
    if (options.title || options.titleHas) {
        const std::wstring title = TextOf(window);
        if (options.title && title != *options.title)
            return false;
        if (options.titleHas && title.find(*options.titleHas) == std::wstring::npos)
            return false;
    }
    return true;
}

int CommandList(const TOptions& options) {
    const ProcessMap processes = SnapshotProcesses();
    const std::vector<DWORD> pids =
        options.exe ? PidsOf(processes, *options.exe) : std::vector<DWORD>{};
    for (const HWND window : TopLevelWindows()) {
        if (options.exe && std::find(pids.begin(), pids.end(), WindowPid(window)) == pids.end())
            continue;
        PrintWindowRecord(window, processes);
    }
    return kExitOk;
}

int CommandWait(const TOptions& options) {
    ProcessMap processes;
    std::vector<HWND> matches;
    const bool found = PollUntil(options.Timeout(), [&] {
        processes = SnapshotProcesses();
        const std::vector<DWORD> pids = PidsOf(processes, *options.exe);
        matches.clear();
        for (const HWND window : TopLevelWindows())
            if (std::find(pids.begin(), pids.end(), WindowPid(window)) != pids.end() &&
                MatchesFilters(window, options))
                matches.push_back(window);
        return !matches.empty();
    });
    if (!found) {
        PrintError(L"no matching window of " + *options.exe + L" after " +
                   std::to_wstring(options.Timeout()) + L" ms");
        return kExitNotFound;
    }
    for (const HWND window : matches)
        PrintWindowRecord(window, processes);
    return kExitOk;
}

std::optional<TMessageBox> WaitForMessageBox(const TOptions& options) {
    std::optional<TMessageBox> box;
    PollUntil(options.Timeout(), [&] { return (box = FindMessageBox(*options.exe)).has_value(); });
    if (!box)
        PrintError(L"no message box of " + *options.exe + L" after " +
                   std::to_wstring(options.Timeout()) + L" ms");
    return box;
}

int CommandMsgbox(const TOptions& options) {
    const auto box = WaitForMessageBox(options);
    if (!box)
        return kExitNotFound;
    PrintMessageBox(*box, SnapshotProcesses());
    return kExitOk;
}

int CommandPress(const TOptions& options) {
    const ULONGLONG start = GetTickCount64();
    const auto box = WaitForMessageBox(options);
    if (!box)
        return kExitNotFound;
    PrintMessageBox(*box, SnapshotProcesses());

    const auto button =
        std::find_if(box->buttons.begin(), box->buttons.end(), [&](const TButton& b) {
            if (options.id)
                return b.id == *options.id;
            if (options.button)
                return EqualNoCase(b.label, WithoutMnemonic(*options.button));
            return true;
        });
    if (button == box->buttons.end()) {
        std::wstring labels;
        for (const TButton& b : box->buttons)
            labels += L" \"" + b.label + L"\"";
        PrintError(L"the message box has no button " +
                   (options.id ? std::to_wstring(*options.id) : *options.button) + L"; it has" +
                   labels);
        return kExitNotFound;
    }
    PrintLine(L"pressed id=" + std::to_wstring(button->id) + L" text=" + FreeText(button->label));

    // The button's own click handling, as for a mouse click: it notifies the box, which ends.
    // Posted, because the sender of BM_CLICK waits while Wine takes the box down.
    PostMessageW(button->window, BM_CLICK, 0, 0);
    if (PollUntil(2000, [&] { return BoxGone(box->window); }))
        return kExitOk;
    // A click can be refused while the box is not the active window; the notification it would
    // have sent ends the box just the same.
    if (IsWindow(button->window))
        PostMessageW(box->window, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button->window));
    const ULONGLONG spent = GetTickCount64() - start;
    const DWORD left =
        spent < options.Timeout() ? static_cast<DWORD>(options.Timeout() - spent) : 0;
    if (PollUntil(std::max<DWORD>(left, 2000), [&] { return BoxGone(box->window); }))
        return kExitOk;
    PrintError(L"the message box is still there after pressing " + button->label);
    return kExitNotFound;
}

int CommandClose(const TOptions& options) {
    const std::vector<DWORD> pids = PidsOf(SnapshotProcesses(), *options.exe);
    int closed = 0;
    for (const HWND window : TopLevelWindows()) {
        if (std::find(pids.begin(), pids.end(), WindowPid(window)) == pids.end() ||
            !IsWindowVisible(window))
            continue;
        PostMessageW(window, WM_CLOSE, 0, 0);
        PrintLine(L"closed hwnd=" + HandleText(window));
        ++closed;
    }
    if (closed == 0) {
        PrintError(L"no visible window of " + *options.exe);
        return kExitNotFound;
    }
    return kExitOk;
}

int CommandSetText(const TOptions& options) {
    const std::vector<DWORD> pids = PidsOf(SnapshotProcesses(), *options.exe);
    for (const HWND window : TopLevelWindows()) {
        if (std::find(pids.begin(), pids.end(), WindowPid(window)) == pids.end())
            continue;
        for (const HWND child : ChildWindows(window)) {
            if (!EqualNoCase(ClassOf(child), *options.windowClass) ||
                (options.id && GetDlgCtrlID(child) != *options.id))
                continue;
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(child, WM_SETTEXT, 0,
                                     reinterpret_cast<LPARAM>(options.text->c_str()),
                                     SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) ||
                !result) {
                PrintError(L"WM_SETTEXT failed for " + HandleText(child));
                return kExitFailure;
            }
            PrintLine(L"set hwnd=" + HandleText(child) + L" text=" + FreeText(TextOf(child)));
            return kExitOk;
        }
    }
    PrintError(L"no " + *options.windowClass + L" window of " + *options.exe);
    return kExitNotFound;
}

int CommandPids(const TOptions& options) {
    const std::vector<DWORD> pids = PidsOf(SnapshotProcesses(), *options.exe);
    for (const DWORD pid : pids)
        PrintLine(std::to_wstring(pid));
    return pids.empty() ? kExitNotFound : kExitOk;
}

int CommandWaitExit(const TOptions& options) {
    std::vector<DWORD> running;
    if (PollUntil(options.Timeout(), [&] {
            running = PidsOf(SnapshotProcesses(), *options.exe);
            return running.empty();
        }))
        return kExitOk;
    std::wstring list;
    for (const DWORD pid : running)
        list += L" " + std::to_wstring(pid);
    PrintError(*options.exe + L" still running after " + std::to_wstring(options.Timeout()) +
               L" ms: pid" + list);
    return kExitNotFound;
}

// ---------------------------------------------------------------------------------------------
// Accessibility: what a screen reader reads from a window's client area (MSAA).

struct TComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};
using TAccessiblePtr = std::unique_ptr<IAccessible, TComRelease>;

VARIANT ChildVariant(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring RoleWord(long role) {
    switch (role) {
    case ROLE_SYSTEM_CLIENT:
        return L"client";
    case ROLE_SYSTEM_WINDOW:
        return L"window";
    case ROLE_SYSTEM_PUSHBUTTON:
        return L"pushbutton";
    case ROLE_SYSTEM_STATICTEXT:
        return L"statictext";
    case ROLE_SYSTEM_TEXT:
        return L"text";
    case ROLE_SYSTEM_PROGRESSBAR:
        return L"progressbar";
    case ROLE_SYSTEM_GRAPHIC:
        return L"graphic";
    default:
        return Hex(static_cast<uint32_t>(role), 2);
    }
}

std::wstring StateWords(long state) {
    static const std::pair<long, const wchar_t*> names[] = {
        {STATE_SYSTEM_UNAVAILABLE, L"unavailable"}, {STATE_SYSTEM_FOCUSED, L"focused"},
        {STATE_SYSTEM_FOCUSABLE, L"focusable"},     {STATE_SYSTEM_READONLY, L"readonly"},
        {STATE_SYSTEM_PRESSED, L"pressed"},         {STATE_SYSTEM_DEFAULT, L"default"},
        {STATE_SYSTEM_INVISIBLE, L"invisible"},     {STATE_SYSTEM_OFFSCREEN, L"offscreen"},
    };
    std::wstring words;
    for (const auto& [bit, name] : names)
        if (state & bit)
            words += (words.empty() ? L"" : L",") + std::wstring(name);
    return words.empty() ? L"-" : words;
}

// A VT_I4 property (role, state); -1 when the object does not give one.
template <typename Getter> long LongProperty(Getter get) {
    VARIANT v;
    VariantInit(&v);
    const HRESULT hr = get(&v);
    const long value = SUCCEEDED(hr) && v.vt == VT_I4 ? v.lVal : -1;
    VariantClear(&v);
    return value;
}

// A string property; "" when the object has none.
template <typename Getter> std::wstring TextProperty(Getter get) {
    BSTR text = nullptr;
    std::wstring value;
    if (SUCCEEDED(get(&text)) && text)
        value.assign(text, SysStringLen(text));
    SysFreeString(text);
    return value;
}

// A child id as printed: the number, "self", or "none" for no element.
std::wstring ChildWord(const VARIANT& v) {
    if (v.vt == VT_I4)
        return v.lVal == CHILDID_SELF ? L"self" : std::to_wstring(v.lVal);
    if (v.vt == VT_DISPATCH)
        return L"object";
    return L"none";
}

// One element line: the object `object` itself (CHILDID_SELF) or its simple element `id`.
// Returns its name.
std::wstring PrintAccessibleElement(IAccessible& object, long id, const std::wstring& head) {
    const VARIANT child = ChildVariant(id);
    const long role = LongProperty([&](VARIANT* v) { return object.get_accRole(child, v); });
    const long state = LongProperty([&](VARIANT* v) { return object.get_accState(child, v); });
    const std::wstring name = TextProperty([&](BSTR* t) { return object.get_accName(child, t); });
    const std::wstring value = TextProperty([&](BSTR* t) { return object.get_accValue(child, t); });
    const std::wstring action =
        TextProperty([&](BSTR* t) { return object.get_accDefaultAction(child, t); });
    long left = 0, top = 0, width = 0, height = 0;
    const bool located = SUCCEEDED(object.accLocation(&left, &top, &width, &height, child));
    // What lies at the middle of the element: itself, unless something covers it.
    VARIANT hit;
    VariantInit(&hit);
    if (!located || FAILED(object.accHitTest(left + width / 2, top + height / 2, &hit)))
        VariantClear(&hit);
    // -1: the object gave none.
    PrintLine(head + L" role=" + (role == -1 ? L"none" : RoleWord(role)) + L" state=" +
              (state == -1 ? L"none" : Hex(static_cast<uint32_t>(state))) + L" states=" +
              (state == -1 ? L"-" : StateWords(state)) + L" location=" +
              (located ? std::to_wstring(left) + L"," + std::to_wstring(top) + L"," +
                             std::to_wstring(width) + L"," + std::to_wstring(height)
                       : L"none") +
              L" hit=" + ChildWord(hit) + L" action=" + Word(action) + L" value=" + Word(value) +
              L" name=" + FreeText(name));
    VariantClear(&hit);
    return name;
}

// The window whose client-area events --events prints.
HWND gEventWindow = nullptr;

void CALLBACK OnAccessibleEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId,
                                LONG childId, DWORD, DWORD) {
    if (window != gEventWindow || objectId != OBJID_CLIENT)
        return;
    const wchar_t* name = event == EVENT_OBJECT_FOCUS     ? L"focus"
                          : event == EVENT_OBJECT_REORDER ? L"reorder"
                                                          : nullptr;
    if (name)
        PrintLine(L"event " + std::wstring(name) + L" child=" +
                  (childId == CHILDID_SELF ? std::wstring(L"self") : std::to_wstring(childId)));
}

// Dispatches this thread's messages (the events arrive as such) for `ms` milliseconds.
void PumpFor(DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
}

// The process's visible top-level window that no other window owns.
HWND FindMainWindow(const std::wstring& exe) {
    const std::vector<DWORD> pids = PidsOf(SnapshotProcesses(), exe);
    for (const HWND window : TopLevelWindows())
        if (std::find(pids.begin(), pids.end(), WindowPid(window)) != pids.end() &&
            IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
            return window;
    return nullptr;
}

int CommandAccessible(const TOptions& options) {
    HWND window = nullptr;
    if (!PollUntil(options.Timeout(), [&] { return (window = FindMainWindow(*options.exe)); })) {
        PrintError(L"no visible window of " + *options.exe + L" after " +
                   std::to_wstring(options.Timeout()) + L" ms");
        return kExitNotFound;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        PrintError(L"COM could not be started");
        return kExitFailure;
    }
    int status = kExitOk;
    {
        IAccessible* raw = nullptr;
        const HRESULT hr =
            AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&raw));
        if (FAILED(hr) || !raw) {
            PrintError(L"no accessible object for the client area of " + HandleText(window) +
                       L": " + Hex(static_cast<uint32_t>(hr)));
            CoUninitialize();
            return kExitFailure;
        }
        const TAccessiblePtr object(raw);
        // Out of context: the events come to this thread's message queue.
        gEventWindow = window;
        const HWINEVENTHOOK hook =
            options.eventsMs
                ? SetWinEventHook(EVENT_OBJECT_REORDER, EVENT_OBJECT_FOCUS, nullptr,
                                  OnAccessibleEvent, WindowPid(window), 0, WINEVENT_OUTOFCONTEXT)
                : nullptr;
        long count = 0;
        object->get_accChildCount(&count);
        VARIANT focus;
        VariantInit(&focus);
        object->get_accFocus(&focus);
        PrintAccessibleElement(*object, CHILDID_SELF,
                               L"accessible hwnd=" + HandleText(window) + L" pid=" +
                                   std::to_wstring(WindowPid(window)) + L" exe=" +
                                   Word(*options.exe) + L" children=" + std::to_wstring(count) +
                                   L" focus=" + ChildWord(focus));
        VariantClear(&focus);

        std::vector<VARIANT> children(static_cast<size_t>(std::max(count, 0L)));
        long got = 0;
        if (count > 0 && FAILED(AccessibleChildren(object.get(), 0, count, children.data(), &got)))
            got = 0;
        std::optional<long> wanted;
        for (long i = 0; i < got; ++i) {
            VARIANT& child = children[static_cast<size_t>(i)];
            if (child.vt == VT_I4) {
                const std::wstring name = PrintAccessibleElement(
                    *object, child.lVal, L"  element id=" + std::to_wstring(child.lVal));
                if (options.button && !wanted && name == *options.button)
                    wanted = child.lVal;
            } else if (child.vt == VT_DISPATCH && child.pdispVal) {
                // A child with an object of its own: read as itself.
                IAccessible* inner = nullptr;
                if (SUCCEEDED(child.pdispVal->QueryInterface(__uuidof(IAccessible),
                                                             reinterpret_cast<void**>(&inner)))) {
                    const TAccessiblePtr held(inner);
                    PrintAccessibleElement(*held, CHILDID_SELF, L"  element id=object");
                }
            }
            VariantClear(&child);
        }
        if (options.button) {
            if (!wanted) {
                PrintError(L"no element named " + *options.button);
                status = kExitNotFound;
            } else if (const HRESULT done = object->accDoDefaultAction(ChildVariant(*wanted));
                       FAILED(done)) {
                PrintError(L"accDoDefaultAction on " + *options.button + L" failed: " +
                           Hex(static_cast<uint32_t>(done)));
                status = kExitFailure;
            } else {
                PrintLine(L"pressed id=" + std::to_wstring(*wanted) + L" name=" +
                          FreeText(*options.button));
            }
        }
        if (options.eventsMs) {
            PumpFor(*options.eventsMs);
            if (hook)
                UnhookWinEvent(hook);
            else {
                PrintError(L"cannot watch the window's events");
                status = kExitFailure;
            }
        }
    }
    CoUninitialize();
    return status;
}

int CommandExitCode(const TOptions& options) {
    std::wstring commandLine = QuoteArgument(ProgramPath(options.program[0]));
    for (size_t i = 1; i < options.program.size(); ++i)
        commandLine += L" " + QuoteArgument(options.program[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
        PrintError(L"cannot start " + commandLine + L": error " + std::to_wstring(GetLastError()));
        return kExitFailure;
    }
    THandle process(info.hProcess);
    THandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), options.timeoutMs.value_or(INFINITE)) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        PrintError(L"still running after " + std::to_wstring(options.Timeout()) + L" ms, ended: " +
                   commandLine);
        return kExitNotFound;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    PrintLine(L"exit-code=" + std::to_wstring(code));
    return kExitOk;
}

// The visible top-level window of one of `pids` that no other window owns (a message box is
// owned by the window it belongs to); null when there is none.
HWND MainWindowOf(const std::vector<DWORD>& pids) {
    for (const HWND window : TopLevelWindows())
        if (std::find(pids.begin(), pids.end(), WindowPid(window)) != pids.end() &&
            IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
            return window;
    return nullptr;
}

double MillisecondsNow() {
    static const double perMs = [] {
        LARGE_INTEGER frequency{};
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / perMs;
}

int CommandResponsive(const TOptions& options) {
    const ULONGLONG start = GetTickCount64();
    const auto timeLeft = [&]() -> DWORD {
        const ULONGLONG spent = GetTickCount64() - start;
        return spent < options.Timeout() ? static_cast<DWORD>(options.Timeout() - spent) : 0;
    };
    ProcessMap processes;
    HWND window = nullptr;
    PollUntil(options.Timeout(), [&] {
        processes = SnapshotProcesses();
        return (window = MainWindowOf(PidsOf(processes, *options.exe))) != nullptr;
    });
    if (!window) {
        PrintError(L"no visible window of " + *options.exe + L" after " +
                   std::to_wstring(options.Timeout()) + L" ms");
        return kExitNotFound;
    }
    const HWND watched = window;
    const DWORD pid = WindowPid(window);
    const THandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) {
        PrintError(L"cannot watch process " + std::to_wstring(pid) + L": error " +
                   std::to_wstring(GetLastError()));
        return kExitFailure;
    }

    // Written at once (no buffering): a test starts the work it watches once it reads this.
    PrintLine(L"watching hwnd=" + HandleText(window) + L" pid=" + std::to_wstring(pid) + L" exe=" +
              Word(*options.exe));
    unsigned probes = 0, unanswered = 0;
    double slowest = 0;
    const double watchStart = MillisecondsNow();
    bool ended = false;
    while (!(ended = WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) && timeLeft() > 0) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            // Closed or hidden (the program is ending, or shows another main window).
            window = MainWindowOf({pid});
            if (!window) {
                WaitForSingleObject(process.Get(), std::min(kProbeIntervalMs, timeLeft()));
                continue;
            }
        }
        const bool hungBefore = IsHungAppWindow(window) != FALSE;
        const double sent = MillisecondsNow();
        DWORD_PTR result = 0;
        const bool answered =
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kProbeLimitMs, &result) != 0;
        const double took = MillisecondsNow() - sent;
        // A window destroyed while the probe waited is no hang.
        if (!answered && !IsWindow(window))
            continue;
        ++probes;
        slowest = std::max(slowest, took);
        if (!answered || hungBefore) {
            ++unanswered;
            PrintError(*options.exe + L" did not answer probe " + std::to_wstring(probes) +
                       L" within " + std::to_wstring(kProbeLimitMs) + L" ms" +
                       (hungBefore ? L" (the system takes it for hung)" : L"") + L", " +
                       std::to_wstring(static_cast<long long>(sent - watchStart)) +
                       L" ms into the watch");
        }
        WaitForSingleObject(process.Get(), std::min(kProbeIntervalMs, timeLeft()));
    }
    PrintLine(L"responsive hwnd=" + HandleText(watched) + L" pid=" + std::to_wstring(pid) +
              L" exe=" + Word(*options.exe) + L" probes=" + std::to_wstring(probes) + L" slowest=" +
              std::to_wstring(static_cast<long long>(slowest + 0.5)) + L" unanswered=" +
              std::to_wstring(unanswered));
    if (unanswered > 0)
        return kExitNotResponding;
    if (!ended) {
        PrintError(*options.exe + L" still running after " + std::to_wstring(options.Timeout()) +
                   L" ms: pid " + std::to_wstring(pid));
        return kExitNotFound;
    }
    return kExitOk;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8); // for a person at a console; pipes get the bytes anyway
    TOptions options;
    try {
        options = ParseArguments(argc, argv);
    } catch (const TUsageError& error) {
        PrintError(error.message);
        WriteBytes(STD_ERROR_HANDLE, ToUtf8(kUsage));
        return kExitUsage;
    }
    if (options.command == L"help") {
        WriteBytes(STD_OUTPUT_HANDLE, ToUtf8(kUsage));
        return kExitOk;
    }
    if (options.command == L"list")
        return CommandList(options);
    if (options.command == L"wait")
        return CommandWait(options);
    if (options.command == L"msgbox")
        return CommandMsgbox(options);
    if (options.command == L"press")
        return CommandPress(options);
    if (options.command == L"settext")
        return CommandSetText(options);
    if (options.command == L"close")
        return CommandClose(options);
    if (options.command == L"pids")
        return CommandPids(options);
    if (options.command == L"wait-exit")
        return CommandWaitExit(options);
    if (options.command == L"accessible")
        return CommandAccessible(options);
    if (options.command == L"responsive")
        return CommandResponsive(options);
    return CommandExitCode(options);
}
