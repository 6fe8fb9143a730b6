// The otFileStream binding: a file opened on an instance slot. A declaration makes no
// objects; the slots (ui/types/streams.cpp) hold the open files.
#include "lib/streams.h"
#include "runtime/run_error.h"
#include "interp/state.h"
#include "ui/object_model.h"
#include "ui/types/streams.h"

namespace tavrin {

namespace {

// Opens name in mode into the call's slot, closing a stream still open there first (so
// that its descriptor does not leak). Returns 0 or the error number.
int openInto(MemberCall& c, const std::string& name, int32_t programMode, std::string& message) {
  std::unique_ptr<Stream>* slot = fileSlot(c.s, c.instance, true);
  if (!slot) {
    message = "otFileStream instance " + std::to_string(c.instance) + " does not exist";
    return int(ErrorNumber::IndexOutOfRange);
  }
  if (*slot) (*slot)->flush();  // a write the file refuses is reported by the statement that closes it
  slot->reset();
  if (c.s.sandbox) {
    message = "files are refused in the sandbox";
    return int(ErrorNumber::AccessDenied);
  }
  const int32_t mode = programMode | kShareDenyNone;
  int error = 0;
  auto stream = openFileStream(name, mode, error);
  if (!stream) {
    message = ((mode & kCreateMode) == kCreateMode ? "Cannot create file " : "Cannot open file ") + name;
    return error;
  }
  *slot = std::move(stream);
  return 0;
}

void fileOpen(MemberCall& c, const std::string& name, int32_t mode) {
  std::string message;
  if (int error = openInto(c, name, mode, message)) raiseIo(ErrorNumber(error), message);
}

double fileOpenRead(MemberCall& c, const std::string& name, int32_t mode) {
  std::string message;
  return openInto(c, name, mode, message) == 0 ? -1.0 : 0.0;
}

void fileClose(MemberCall& c) {
  if (std::unique_ptr<Stream>* slot = fileSlot(c.s, c.instance, false)) {
    if (*slot) (*slot)->flush();  // a write the file refuses is error 101 here
    slot->reset();
  }
}

int32_t fileHandle(MemberCall& c) { return static_cast<FileStream&>(fileStreamAt(c.s, c.instance)).fd(); }  // nothing left waiting

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_file_stream.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(file_stream){kMembers};

}  // namespace tavrin
