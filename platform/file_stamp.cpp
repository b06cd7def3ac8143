// Packed local-time file stamps with two-second resolution.
#include "platform/file_stamp.h"

#include <sys/stat.h>
#include <utime.h>

#include "platform/file_resolver.h"

namespace krv::platform {

uint32_t PackLocalTime(std::time_t t) {
  struct tm lt;
  localtime_r(&t, &lt);
  int year = lt.tm_year + 1900 - 1980;
  if (year < 0) return (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
  if (year > 127) year = 127;
  return (uint32_t(year) << 25) | (uint32_t(lt.tm_mon + 1) << 21) |
         (uint32_t(lt.tm_mday) << 16) | (uint32_t(lt.tm_hour) << 11) |
         (uint32_t(lt.tm_min) << 5) | uint32_t(lt.tm_sec / 2);
}

std::time_t UnpackLocalTime(uint32_t s) {
  struct tm lt = {};
  lt.tm_year = int(s >> 25) + 80;
  lt.tm_mon = int((s >> 21) & 15) - 1;
  lt.tm_mday = int((s >> 16) & 31);
  lt.tm_hour = int((s >> 11) & 31);
  lt.tm_min = int((s >> 5) & 63);
  lt.tm_sec = int(s & 31) * 2;
  lt.tm_isdst = -1;
  return mktime(&lt);
}

std::optional<uint32_t> PackedFileDate(const std::string& path) {
  struct stat st;
  if (::stat(ResolvePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return PackLocalTime(st.st_mtime);
}

bool SetPackedFileDate(const std::string& path, uint32_t stamp) {
  struct utimbuf times;
  times.actime = times.modtime = UnpackLocalTime(stamp);
  return ::utime(ResolvePath(path).c_str(), &times) == 0;
}

}  // namespace krv::platform
