// Destruction of the library services' states, which the interpreter state holds by
// pointer without knowing their types.
#include "interp/state.h"
#include "lib/console.h"
#include "lib/external.h"
#include "lib/file_search.h"
#include "lib/printer.h"
#include "lib/sockets.h"

namespace tavrin {

void destroyService(ConsoleState* p) { delete p; }
void destroyService(SocketService* p) { delete p; }
void destroyService(ExternalState* p) { delete p; }
void destroyService(PrinterState* p) { delete p; }
void destroyService(FileSearch* p) { delete p; }

}  // namespace tavrin
