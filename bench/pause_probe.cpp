// Times the installer's fixed pauses as the system really takes them (Sleep and a window
// timer round up, and under Wine each wait goes through the server), so that the
// installation benchmark can say how much of a silent run they are.
//
//   pause_probe TIMER_MS COUNTxSTEP_MS[+FINAL_MS]...
//
// waits for one timer of TIMER_MS, then for each group sleeps STEP_MS COUNT times, each
// after a look at the message queue as the progress steps do, then FINAL_MS. Prints one
// line: "timer MS pauses MS total MS" (measured) and the same figures as nominal ones.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

struct TGroup {
    unsigned count = 0, step = 0, final = 0;
};

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

double TimeTimer(unsigned ms) {
    const double start = NowMs();
    const UINT_PTR id = SetTimer(nullptr, 0, ms, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        if (msg.message == WM_TIMER && msg.wParam == id)
            break;
    KillTimer(nullptr, id);
    return NowMs() - start;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: pause_probe TIMER_MS COUNTxSTEP_MS[+FINAL_MS]...\n");
        return 2;
    }
    const unsigned timerMs = static_cast<unsigned>(std::wcstoul(argv[1], nullptr, 10));
    std::vector<TGroup> groups;
    for (int i = 2; i < argc; ++i) {
        TGroup g;
        if (std::swscanf(argv[i], L"%ux%u+%u", &g.count, &g.step, &g.final) < 2) {
            std::fwprintf(stderr, L"pause_probe: bad group \"%ls\"\n", argv[i]);
            return 2;
        }
        groups.push_back(g);
    }

    const double timer = TimeTimer(timerMs);
    unsigned nominal = 0;
    const double start = NowMs();
    for (const TGroup& g : groups) {
        for (unsigned n = 0; n < g.count; ++n) {
            PumpMessages();
            Sleep(g.step);
        }
        if (g.final > 0)
            Sleep(g.final);
        nominal += g.count * g.step + g.final;
    }
    const double pauses = NowMs() - start;
    std::printf("timer %.1f pauses %.1f total %.1f nominal %u %u %u\n", timer, pauses,
                timer + pauses, timerMs, nominal, timerMs + nominal);
    return 0;
}
