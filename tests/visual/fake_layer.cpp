// Stand-ins for the windowed layer, for the loader's error paths: FAKE_LAYER 0 exports no
// entry, 1 answers with another version's table, 2 writes a note through the host table
// and fails with a reason.
#include <cstdio>

#include "ui/visual_host.h"

#if FAKE_LAYER == 0
extern "C" __attribute__((visibility("default"))) int tavrinSomethingElse() { return 0; }
#else
#if FAKE_LAYER == 1
namespace {
int32_t answer() { return kVisualOk; }
}  // namespace
#endif

extern "C" __attribute__((visibility("default"))) int32_t tavrinVisualStart(const TavrinVisualHost* host,
                                                                             TavrinVisualLayer* layer,
                                                                             char* error, size_t errorSize) {
#if FAKE_LAYER == 1
  (void)host, (void)error, (void)errorSize;
  TavrinVisualLayer l{};
  l.abi = TAVRIN_VISUAL_ABI + 1;
  l.size = uint32_t(sizeof(TavrinVisualLayer));
  l.qtVersion = "0.0";
  l.processEvents = &answer;
  l.shutdown = &answer;
  *layer = l;
  return kVisualOk;
#else
  (void)layer;
  host->note(host->context, "fake layer: a note through the host");
  std::snprintf(error, errorSize, "%s", "the fake layer fails on purpose");
  return kVisualFailed;
#endif
}
#endif
