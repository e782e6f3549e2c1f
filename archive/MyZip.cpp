#include "archive/MyZip.h"

#include "archive/ZipReader.h"

#ifdef _WIN32
#include "archive/Win32ZipHost.h"
#else
#include "archive/PosixZipHost.h"
#endif

void UnzipArchive(IZipHost& host, const std::wstring& zipPath, const std::wstring& targetDir,
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
    reader.UnZip();
}

void UnzipArchive(const std::wstring& zipPath, const std::wstring& targetDir,
                  const std::wstring& password) {
#ifdef _WIN32
    TWin32ZipHost host;
#else
    TPosixZipHost host;
#endif
    UnzipArchive(host, zipPath, targetDir, password);
}
