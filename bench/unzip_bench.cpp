// Extraction benchmark driver: one process per measured run, timed from outside.
//
//   unzip_bench reader ZIP OUTDIR [PASSWORD]  extract with the project's reader
//   unzip_bench raw-inflate ZIP               inflate every entry and check its CRC, write nothing
//   unzip_bench raw-write ZIP OUTDIR          the same, writing each file with plain write()
//   unzip_bench has-reader                    exit code 0 if built with the reader, else 3
//
// The raw modes are the yardstick for the reader: zlib's inflate and crc32 over the
// archive in central-directory order, one thread, bounded buffers, no metadata (times,
// attributes), no checks beyond the CRC. They trust the archive's layout (no ZIP64, no
// encryption): the benchmark makes its own archives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#ifdef HAVE_READER
#include "archive/MyZip.h"
#endif

namespace {

// Large enough that syscalls and inflate's per-call overhead vanish: raw-write measured
// here from 32 KiB (7 % slower) to 4 MiB, with 1 MiB and up equal within the noise.
constexpr size_t kBuf = 1024 * 1024;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }
[[noreturn]] void FailSys(const std::string& what) { Fail(what + ": " + std::strerror(errno)); }

uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const unsigned char* p) { return uint32_t(Le16(p)) | uint32_t(Le16(p + 2)) << 16; }

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

void ReadAt(int fd, void* buf, size_t n, uint64_t off) {
  auto* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    ssize_t got = pread(fd, p, n, off_t(off));
    if (got == 0) Fail("archive ends early");
    if (got < 0) {
      if (errno == EINTR) continue;
      FailSys("read of the archive");
    }
    p += got, n -= size_t(got), off += uint64_t(got);
  }
}

void WriteAll(int fd, const unsigned char* p, size_t n) {
  while (n > 0) {
    ssize_t put = write(fd, p, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      FailSys("write");
    }
    p += put, n -= size_t(put);
  }
}

struct Entry {
  std::string name;
  uint16_t method, flags;
  uint32_t crc;
  uint64_t csize, usize, offset;
};

std::vector<Entry> ReadCentralDirectory(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) FailSys("stat of the archive");
  uint64_t size = uint64_t(st.st_size);
  uint64_t tail = size < 65557 ? size : 65557;
  std::vector<unsigned char> t(tail);
  ReadAt(fd, t.data(), tail, size - tail);
  size_t eocd = SIZE_MAX;
  for (size_t i = tail >= 22 ? tail - 22 + 1 : 0; i-- > 0;)
    if (Le32(&t[i]) == 0x06054b50) {
      eocd = i;
      break;
    }
  if (eocd == SIZE_MAX) Fail("no end of central directory record");
  uint32_t count = Le16(&t[eocd + 10]), cdSize = Le32(&t[eocd + 12]), cdOff = Le32(&t[eocd + 16]);
  if (count == 0xffff || cdSize == 0xffffffff || cdOff == 0xffffffff)
    Fail("ZIP64 archive: not supported by the raw modes");
  std::vector<unsigned char> cd(cdSize);
  ReadAt(fd, cd.data(), cdSize, cdOff);
  std::vector<Entry> entries;
  entries.reserve(count);
  size_t p = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (p + 46 > cd.size() || Le32(&cd[p]) != 0x02014b50) Fail("bad central directory");
    const unsigned char* h = &cd[p];
    size_t n = Le16(h + 28), m = Le16(h + 30), k = Le16(h + 32);
    if (p + 46 + n > cd.size()) Fail("bad central directory");
    entries.push_back({std::string(reinterpret_cast<const char*>(h + 46), n), Le16(h + 10),
                       Le16(h + 8), Le32(h + 16), Le32(h + 20), Le32(h + 24), Le32(h + 42)});
    p += 46 + n + m + k;
  }
  return entries;
}

// Creates the folders on the way to path below root, remembering those already made.
void MakeParents(const std::string& path, size_t rootLen, std::unordered_set<std::string>& made) {
  for (size_t i = path.find('/', rootLen + 1); i != std::string::npos; i = path.find('/', i + 1)) {
    std::string dir = path.substr(0, i);
    if (made.insert(dir).second && mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
      FailSys("mkdir " + dir);
  }
}

int Raw(const char* zipPath, const char* outDir) {
  Fd zip(open(zipPath, O_RDONLY | O_CLOEXEC));
  if (zip.fd < 0) FailSys(std::string("open ") + zipPath);
  std::vector<Entry> entries = ReadCentralDirectory(zip.fd);

  std::vector<unsigned char> in(kBuf), out(kBuf);
  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) Fail("inflateInit2");
  std::string root = outDir ? outDir : "";
  std::unordered_set<std::string> made;
  if (outDir && mkdir(outDir, 0755) != 0 && errno != EEXIST) FailSys(std::string("mkdir ") + outDir);
  uint64_t totalBytes = 0, files = 0, bad = 0;

  for (const Entry& e : entries) {
    if (e.name.find("..") != std::string::npos || e.name.empty() || e.name[0] == '/') {
      Fail("unsafe entry name " + e.name);
    }
    if (e.flags & 1) {
      Fail("encrypted entry " + e.name);
    }
    std::string path = root + "/" + e.name;
    if (e.name.back() == '/') {
      if (outDir) {
        MakeParents(path, root.size(), made);
      }
      continue;
    }
    unsigned char lh[30];
    ReadAt(zip.fd, lh, sizeof lh, e.offset);
    if (Le32(lh) != 0x04034b50) Fail("bad local header for " + e.name);
    uint64_t pos = e.offset + 30 + Le16(lh + 26) + Le16(lh + 28);

    int ofd = -1;
    if (outDir) {
      MakeParents(path, root.size(), made);
      ofd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (ofd < 0) FailSys("create " + path);
    }
    Fd file(ofd);
    uint32_t crc = crc32(0, nullptr, 0);
    uint64_t left = e.csize, produced = 0;
    if (e.method == 0) {
      while (left > 0) {
        size_t n = left < kBuf ? size_t(left) : kBuf;
        ReadAt(zip.fd, in.data(), n, pos);
        pos += n, left -= n, produced += n;
        crc = crc32(crc, in.data(), uInt(n));
        if (ofd >= 0) WriteAll(ofd, in.data(), n);
      }
    } else if (e.method == 8) {
      inflateReset(&zs);
      int rc = Z_OK;
      while (rc != Z_STREAM_END) {
        if (zs.avail_in == 0) {
          if (left == 0) Fail("truncated deflate data in " + e.name);
          size_t n = left < kBuf ? size_t(left) : kBuf;
          ReadAt(zip.fd, in.data(), n, pos);
          pos += n, left -= n;
          zs.next_in = in.data();
          zs.avail_in = uInt(n);
        }
        zs.next_out = out.data();
        zs.avail_out = uInt(kBuf);
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
          Fail("inflate error in " + e.name);
        }
        size_t n = kBuf - zs.avail_out;
        produced += n;
        crc = crc32(crc, out.data(), uInt(n));
        if (ofd >= 0 && n > 0) WriteAll(ofd, out.data(), n);
      }
      zs.avail_in = 0;
    } else {
      Fail("unsupported method in " + e.name);
    }
    if (crc != e.crc || produced != e.usize) {
      std::fprintf(stderr, "CRC or size mismatch: %s\n", e.name.c_str());
      ++bad;
    }
    totalBytes += produced;
    ++files;
  }
  inflateEnd(&zs);
  std::fprintf(stderr, "%llu files, %llu bytes, %llu bad\n", (unsigned long long)files,
               (unsigned long long)totalBytes, (unsigned long long)bad);
  return bad ? 1 : 0;
}

#ifdef HAVE_READER
// Command-line arguments are UTF-8; wchar_t holds one code point on Linux.
std::wstring Widen(const char* s) {
  std::wstring w;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p;) {
    unsigned c = *p++;
    int more = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : 0;
    if (more) c &= 0x3fu >> more;
    for (; more > 0 && (*p & 0xc0) == 0x80; --more) c = c << 6 | (*p++ & 0x3f);
    w.push_back(wchar_t(c));
  }
  return w;
}
#endif

int Usage() {
  std::fputs(
      "usage: unzip_bench reader ZIP OUTDIR [PASSWORD]\n"
      "       unzip_bench raw-inflate ZIP\n"
      "       unzip_bench raw-write ZIP OUTDIR\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
#ifdef HAVE_READER
  if (mode == "has-reader") return 0;
#else
  if (mode == "has-reader") return 3;
#endif
  if (argc < 3) return Usage();
  try {
    if (mode == "raw-inflate" && argc == 3) return Raw(argv[2], nullptr);
    if (mode == "raw-write" && argc == 4) return Raw(argv[2], argv[3]);
    if (mode == "reader" && (argc == 4 || argc == 5)) {
#ifdef HAVE_READER
      UnzipArchive(Widen(argv[2]), Widen(argv[3]), argc == 5 ? Widen(argv[4]) : std::wstring());
      return 0;
#else
      std::fputs("unzip_bench: built without the archive reader\n", stderr);
      return 3;
#endif
    }
  } catch (const std::exception& ex) {
    std::fprintf(stderr, "unzip_bench: %s\n", ex.what());
    return 1;
  }
  return Usage();
}
