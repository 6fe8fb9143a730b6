// The value-store side of interp/value_refs.h. Until the stores are built these raise
// "not implemented yet"; each then forwards to the store operation of its name.
#include "interp/value_refs.h"

#include "runtime/run_error.h"

namespace tavrin::valueref {

double readGlobal(State&, ValueType, uint16_t) { raiseNotImplemented("global variables"); }
void storeGlobal(State&, ValueType, uint16_t, double) { raiseNotImplemented("global variables"); }
double readLocal(State&, ValueType, uint16_t) { raiseNotImplemented("local variables"); }
void storeLocal(State&, ValueType, uint16_t, double) { raiseNotImplemented("local variables"); }
void readVariant(State&, EvalStack&, int32_t) { raiseNotImplemented("variant cells"); }
void storeVariant(State&, int32_t, bool, double, const std::string&) { raiseNotImplemented("variant cells"); }
void readElement(State&, EvalStack&, ValueType, uint16_t) { raiseNotImplemented("array elements"); }
int64_t elementPosition(State&, ValueType, uint16_t) { raiseNotImplemented("array elements"); }
void storeElement(State&, ValueType, uint16_t, int64_t, bool, double, const std::string&) {
  raiseNotImplemented("array elements");
}
int32_t variantElementNumber(State&, uint16_t) { raiseNotImplemented("variant arrays"); }
int32_t recordElementNumber(State&, uint16_t) { raiseNotImplemented("record arrays"); }
void readRecordField(State&, EvalStack&, uint16_t) { raiseNotImplemented("record fields"); }
void storeRecordField(State&, uint16_t) { raiseNotImplemented("record fields"); }

}  // namespace tavrin::valueref
