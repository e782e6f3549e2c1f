#include "tools/packer/TemporaryFile.h"

#include "tools/packer/PackError.h"
#include "tools/packer/PathText.h"
#include "tools/packer/Platform.h"

#include <atomic>
#include <system_error>

TTemporaryFile::TTemporaryFile(const std::filesystem::path& final) : final_(final) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path name = final.filename();
    name += "." + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++) + ".partial";
    temporary_ = final.parent_path() / name;
}

TTemporaryFile::~TTemporaryFile() {
    if (!committed_) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void TTemporaryFile::Commit() {
    std::error_code error;
    std::filesystem::rename(temporary_, final_, error);
    if (error)
        ThrowIoFailure("cannot write " + PathToUtf8(final_) + ": " + error.message());
    committed_ = true;
}
