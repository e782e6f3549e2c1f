#pragma once
// A file written under a temporary name beside its final one and renamed into place only
// when it is complete, so that a failed run leaves no partial output behind. Portable.

#include <filesystem>

class TTemporaryFile {
public:
    // A temporary name in the folder of `final`, unique to this process.
    explicit TTemporaryFile(const std::filesystem::path& final);
    // Removes the temporary file unless it was committed.
    ~TTemporaryFile();
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    const std::filesystem::path& Path() const { return temporary_; }
    // Renames the temporary file to the final name, replacing what was there. Throws
    // EPackError (IoFailure).
    void Commit();

private:
    std::filesystem::path final_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};
