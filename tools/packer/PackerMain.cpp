// The packer's entry point: the command line as UTF-8, on either system.
#include "tools/packer/CommandLine.h"

#include "sys/TextEncoding.h"

#include <string>
#include <vector>

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(EncodeUtf8(argv[i]));
    return RunPacker(arguments);
}
#else
int main(int argc, char** argv) {
    return RunPacker(std::vector<std::string>(argv, argv + argc));
}
#endif
