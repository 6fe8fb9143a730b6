// The engine's process entry, and with tools/service_list.cpp the composition root: run the
// image appended to this very executable with the engine's services.
#include <string>
#include <vector>

#include "interp/run.h"
#include "runtime/host_stack.h"
#include "tools/service_list.h"

int main(int argc, char** argv) {
  tavrin::prepareHostStack();
  tavrin::RunOptions options;
  options.imagePath = tavrin::ownExecutablePath();
  if (options.imagePath.empty()) options.imagePath = argv[0];
  options.arguments.push_back(options.imagePath);
  for (int i = 1; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  return tavrin::runProgramFile(options, tavrin::engineServices());
}
