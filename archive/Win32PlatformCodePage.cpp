#include "archive/PlatformCodePage.h"

#include "sys/Win32CodePage.h"

std::unique_ptr<ICodePage> MakeCodePage(unsigned number) {
    return std::make_unique<TWin32CodePage>(number);
}
