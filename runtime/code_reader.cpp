// Cold paths of the code stream.
#include "runtime/code_reader.h"

#include <string>

namespace tavrin {

void CodeReader::truncated(size_t wanted) const {
  raiseByteCode("the code ends inside a statement (" + std::to_string(wanted) +
                " byte(s) wanted at offset " + std::to_string(position()) + ", image size " +
                std::to_string(size()) + ")");
}

void CodeReader::badSeek(int64_t position) const {
  raiseByteCode("jump to negative position " + std::to_string(position));
}

}  // namespace tavrin
