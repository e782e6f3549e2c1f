#include "archive/MyZip.h"

#include "archive/ZipReader.h"

#ifdef _WIN32
#include "archive/Win32ZipHost.h"
#else
#include "archive/PosixZipHost.h"
#endif

bool UnzipArchive(IZipHost& host, const std::wstring& zipPath, const std::wstring& targetDir,
                  const std::wstring& password) {
    TZipReader reader(host);
    reader.SetZipName(zipPath);
    reader.ReadZip();
    reader.Password = host.AnsiCodePage().FromWide(password);
    reader.DoAll = true;
    reader.SetDestDir(targetDir);
    reader.RecreateDirs = true;
    reader.RetainAttributes = true;
    reader.keepSilent = true;
    // Every entry counts, folders too (they are made as the archive names them).
    return static_cast<std::uint64_t>(reader.UnZip()) == reader.EntryCount();
}

bool UnzipArchive(const std::wstring& zipPath, const std::wstring& targetDir,
                  const std::wstring& password) {
#ifdef _WIN32
    TWin32ZipHost host;
#else
    TPosixZipHost host;
#endif
    return UnzipArchive(host, zipPath, targetDir, password);
}
