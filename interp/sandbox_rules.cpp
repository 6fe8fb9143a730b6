// The statements that reach outside the process, by the encoding tables.
#include "interp/sandbox_rules.h"

#include "interp/tables.h"

namespace tavrin {

bool sandboxRefusesStatement(uint8_t lead, uint8_t next) {
  switch (Lead(lead)) {
    case Lead::StmtCommand:
      switch (Command(next)) {
        case Command::StmtSleep: case Command::StmtCallExternal: case Command::StmtCallExternalSub:
        case Command::StmtChangeDir: case Command::StmtChangeDrive: case Command::StmtMakeDir:
        case Command::StmtRemoveDir: case Command::StmtDeleteFile: case Command::StmtRunProgram:
        case Command::StmtExecute: case Command::StmtRenameFile: case Command::StmtPlaySound:
        case Command::StmtPrinterPrint: case Command::StmtPrinterClose: case Command::StmtSetEnvironment:
        case Command::StmtExtractResource: case Command::StmtTone: case Command::StmtDropExternal:
        case Command::StmtPlayResource: case Command::StmtSendMessage: case Command::StmtPostMessage:
        case Command::StmtProcessMessages: case Command::StmtMessageBox: case Command::StmtMessageDialog:
        case Command::StmtShowMessage: case Command::StmtPortOutWord: case Command::StmtPortOutByte:
          return true;
        default:
          return false;
      }
    case Lead::StmtObjectMember:
    case Lead::StmtObjectMemberIndirect:
    case Lead::StmtAssignParam:
      // Objects that reach files, the network, the registry, the printer or other programs.
      return next == 46 || next == 52 || next == 71 || next == 72 || next == 73 || next == 84 || next == 86 ||
             next == 85;
    default:
      return false;
  }
}

}  // namespace tavrin
