// The image loader. Every length is checked against the image before it is used, so a
// malformed image stops with a clear error instead of reading out of bounds or looping.
#include "runtime/loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/run_error.h"
#include "runtime/run_state.h"

namespace tavrin {
namespace {

[[noreturn]] void fileError(const std::string& path, const char* what) {
  int err = errno;
  ErrorNumber n = err == ENOENT ? ErrorNumber::FileNotFound
                  : err == EACCES ? ErrorNumber::AccessDenied
                                  : ErrorNumber::DiskRead;
  raiseIo(n, std::string(what) + " " + path + ": " + std::strerror(err));
}

bool readAt(int fd, void* buffer, size_t length, off_t offset) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    ssize_t n = pread(fd, p, length, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= size_t(n);
    offset += n;
  }
  return true;
}

uint32_t readLength(const std::vector<uint8_t>& image, size_t at) {
  uint32_t v;
  std::memcpy(&v, image.data() + at, 4);
  return v;
}

}  // namespace

TailStatus readImageTail(const std::string& path, std::vector<uint8_t>& image) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fileError(path, "cannot open");
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    close(fd);
    fileError(path, "cannot read");
  }
  uint64_t fileSize = uint64_t(st.st_size);
  uint32_t length = 0;
  if (fileSize < 4 || !readAt(fd, &length, 4, off_t(fileSize - 4))) {
    close(fd);
    raiseByteCode(path + " is too short to carry a program trailer");
  }
  if (length == 0) {
    close(fd);
    return TailStatus::NoImage;
  }
  if (uint64_t(length) + 4 > fileSize) {
    close(fd);
    raiseByteCode("the trailer of " + path + " names an image of " + std::to_string(length) +
                  " bytes, but the file has only " + std::to_string(fileSize - 4) + " before it");
  }
  image.resize(length);
  if (!readAt(fd, image.data(), length, off_t(fileSize - 4 - length))) {
    close(fd);
    fileError(path, "cannot read the image of");
  }
  close(fd);
  return TailStatus::Image;
}

bool loadImage(RunState& s, std::vector<uint8_t> image) {
  s.image = std::move(image);
  const size_t size = s.image.size();
  s.code.reset(s.image.data(), size);
  size_t pos = 0;
  auto need = [&](size_t n, const char* what) {
    if (size - pos < n)
      raiseByteCode(std::string("the image ends inside ") + what + " at offset " + std::to_string(pos));
  };
  auto tagAt = [&]() -> uint8_t {
    need(1, "the record list (no data block)");
    return s.image[pos++];
  };
  uint8_t tag = tagAt();
  while (tag == 10) {  // procedure bodies: the length counts its own field
    need(4, "a procedure record's length");
    uint32_t length = readLength(s.image, pos);
    if (length < 4 || length > size - pos)
      raiseByteCode("the procedure record at offset " + std::to_string(pos) + " has length " +
                    std::to_string(length) + ", which does not fit the image");
    pos += length;
    tag = tagAt();
  }
  s.resourceCount = 0;
  while (tag == 18) {  // resources: the length counts the body only
    need(4, "a resource record's length");
    if (s.resourceCount >= kResourceSlots)
      raiseByteCode("the image has more than " + std::to_string(kResourceSlots) + " resources");
    s.resources[size_t(s.resourceCount++)] = uint32_t(pos);
    uint32_t length = readLength(s.image, pos);
    if (length > size - pos - 4)
      raiseByteCode("the resource record at offset " + std::to_string(pos) + " has length " +
                    std::to_string(length) + ", which does not fit the image");
    pos += 4 + size_t(length);
    tag = tagAt();
  }
  // Any other tag opens the data block; its length counts its own field.
  need(4, "the data block's length");
  uint32_t length = readLength(s.image, pos);
  if (length < 4 || length > size - pos)
    raiseByteCode("the data block at offset " + std::to_string(pos) + " has length " +
                  std::to_string(length) + ", which does not fit the image");
  s.dataBase = s.dataPointer = uint32_t(pos + 4);
  pos += length;
  s.mainStart = uint32_t(pos);
  s.code.seek(int64_t(pos));
  return size >= 4 && pos < size - 4;
}

}  // namespace tavrin
