// The members that otFileStream and otMemoryStream share (ui/types/file_stream.cpp and
// memory_stream.cpp bind them), the file stream slots, and the stream an object
// reference names.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "ui/binding.h"

namespace tavrin {

class Stream;

// otFileStream: the open stream of each instance number, or nothing.
// `grow` makes room for the instance; nullptr for a negative one (or, without grow, one
// past the slots).
std::unique_ptr<Stream>* fileSlot(State& s, int64_t instance, bool grow);
// The open stream of an instance; run-time error 103 when it is not open.
Stream& fileStreamAt(State& s, int64_t instance);

// The stream an object reference names: a file stream slot or a memory stream; run-time
// error 103 for a file stream instance that is not open.
Stream& streamOf(State& s, const ObjectRef& ref);

// The stream a member call works on.
Stream& streamTarget(MemberCall& c);

void streamWriteNumber(MemberCall& c, double value, int32_t code);
void streamWriteText(MemberCall& c, const std::string& text, int32_t count);
void streamSeek(MemberCall& c, int32_t offset, int32_t origin);
void streamSetPosition(MemberCall& c, int32_t position);
void streamCopyFrom(MemberCall& c, const ObjectRef& from, int32_t count);
void streamWriteLine(MemberCall& c, const std::string& text);
void streamWriteArray(MemberCall& c, const VariableRef& array, int32_t first, int32_t count);
void streamReadArray(MemberCall& c, const VariableRef& array, int32_t first, int32_t count);
void streamWriteWhole(MemberCall& c, const VariableRef& variable);
void streamReadWhole(MemberCall& c, const VariableRef& variable);
void streamWriteData(MemberCall& c, ImagePos block);

double streamReadNumber(MemberCall& c, int32_t code);
void streamReadText(MemberCall& c, int32_t count);
double streamSize(MemberCall& c);
double streamPosition(MemberCall& c);
void streamReadLine(MemberCall& c);
double streamLineCount(MemberCall& c);
double streamEof(MemberCall& c);
int32_t streamReadByte(MemberCall& c);

}  // namespace tavrin
