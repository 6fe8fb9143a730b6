// What the declarations need of the object layer: object instances declared by number,
// and object arrays dimensioned or re-dimensioned from a dimension list. The object layer
// defines these; until it exists interp/object_hooks_stub.cpp raises "not implemented yet".
#pragma once
#include <cstdint>

#include "interp/stores.h"

namespace tavrin {

// StmtDeclare kind 1 with an object type code: the type's object list is extended by
// creating instances until it holds instance `highest`.
void declareObjects(State& s, uint8_t type, uint16_t highest);
// StmtDeclare kind 3 with an object type code: `dims.total` new instances (none below 1)
// appended to the type's list; the array's descriptor takes dims.bounds with the list's
// count before them as its base. Element numbers: elementNumberFromCode on that descriptor.
void declareObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims);
// Tavrin's re-dimension of an object array; `keep` keeps the old elements (see
// docs/bytecode.md, "Values, arrays and records").
void redimensionObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims, bool keep);
// What an external call passes for an argument of an object type whose objects are
// records in program memory (68, otRect): the record's address, below 2^31. 0 for a type
// without such records; run-time error 213 for an instance outside the type's table.
uint32_t objectArgumentAddress(State& s, uint8_t type, int64_t instance);

}  // namespace tavrin
