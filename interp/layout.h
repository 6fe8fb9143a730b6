// The operand layouts of the byte code, as words in the tables (statements.def,
// commands.def, operands.def, builtins.def). The assembler and the disassembler walk
// these words; the interpreter's handlers read the same fields in the same order.
//
// Plain words (one field each):
//   u8       a literal byte                 u16  16-bit number (variable, array, instance)
//   u32      32-bit number                  i32  signed 32-bit number
//   type     a value-type byte (String .. Variant)
//   objtype  an object type code (otForm .. otOleContainer)
//   expr     an expression, ended by byte 11
//   term     a terminator byte: 11 means no line break follows
//   off      a signed 32-bit jump offset, relative to the byte after it
//   target   a 32-bit absolute position of a procedure body's length field
//   subs     a subscript count byte n, then n expressions
//   exprs    pairs of (separator byte other than 11, expression), closed by byte 11
//   optexpr  byte 11 alone (no argument), or a marker byte followed by an expression
//   field    a record field: field type byte, 16-bit field number, and for the array field
//            types 14..21 a subscript list
// Compound words (each names one irregular operand form, decoded by its own routine):
//   declare, colour, cursor, caseitems, callproc, callprocindirect, callargs,
//   callargsindirect, external (no result type), externalresult (with the result type byte),
//   assignparam, recordfield, recordarrayfield, copyrecord,
//   copyrecordelement, member, property, parameter, constant, builtin, recordsize,
//   arrayref, addressref, variantref
#pragma once
