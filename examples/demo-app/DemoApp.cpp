// The sample product's main program: a small window that says it is installed.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    MessageBoxW(nullptr, L"The demo product is installed and running.", L"DemoApp", MB_OK);
    return 0;
}
