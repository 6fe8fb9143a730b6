// The service registry's order (start and pump in list order, close and end in reverse, a
// close that fails leaving the end steps to the error path) and the windowed layer's
// loading: a console run maps no Qt, the layer starts Qt offscreen and answers, and a
// missing layer is a run-time error that names the file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "interp/message_queue.h"
#include "interp/run.h"
#include "interp/state.h"
#include "runtime/engine.h"
#include "ui/visual_layer.h"

namespace tavrin {
namespace {

std::vector<std::string> g_log;

template <char kName, char kStep>
void logStep(State&) {
  g_log.push_back(std::string{kName, kStep});
}
void failingClose(State&) {
  g_log.push_back("bc");
  raise(ErrorNumber::DiskWrite, "cannot write");
}

// a: every step; b: close fails (when chosen); c: only an end step.
constexpr ServiceSteps kSteps[] = {
    {"a", logStep<'a', 's'>, logStep<'a', 'p'>, logStep<'a', 'c'>, logStep<'a', 'e'>, nullptr},
    {"b", nullptr, logStep<'b', 'p'>, logStep<'b', 'c'>, logStep<'b', 'e'>, nullptr},
    {"c", logStep<'c', 's'>, nullptr, nullptr, logStep<'c', 'e'>, nullptr},
};
constexpr ServiceSteps kFailing[] = {
    {"a", nullptr, nullptr, logStep<'a', 'c'>, logStep<'a', 'e'>, nullptr},
    {"b", nullptr, nullptr, failingClose, logStep<'b', 'e'>, nullptr},
};

TEST(Services, StartAndPumpInListOrderCloseAndEndInReverse) {
  State s;
  s.services = {kSteps, 3};
  g_log.clear();
  startServices(s);
  EXPECT_EQ(g_log, (std::vector<std::string>{"as", "cs"}));
  g_log.clear();
  processMessages(s);  // the message queue pumps every service
  EXPECT_EQ(g_log, (std::vector<std::string>{"ap", "bp"}));
  g_log.clear();
  shutdownState(s);
  EXPECT_EQ(g_log, (std::vector<std::string>{"bc", "ac", "ce", "be", "ae"}));
  g_log.clear();
  endServices(s);  // the end statement and errors: only the end steps
  EXPECT_EQ(g_log, (std::vector<std::string>{"ce", "be", "ae"}));
}

TEST(Services, AFailingCloseSkipsTheLaterClosesAndTheErrorPathEndsEveryService) {
  State s;
  s.services = {kFailing, 2};
  g_log.clear();
  try {
    shutdownState(s);
    ADD_FAILURE() << "the failing close did not raise";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number, int(ErrorNumber::DiskWrite));
    endServices(s);  // what the run entry does with the error
  }
  EXPECT_EQ(g_log, (std::vector<std::string>{"bc", "be", "ae"}));
}

bool qtMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find("libQt6") != std::string::npos) return true;
  return false;
}

TEST(VisualLayer, IsLookedForBesideTheExecutableThenInTheInstallPrefix) {
  unsetenv("TAVRIN_VISUAL");
  std::string self = ownExecutablePath();
  std::string dir = self.substr(0, self.rfind('/'));
  std::vector<std::string> c = visualLayerCandidates();
  ASSERT_GE(c.size(), 3u);
  EXPECT_EQ(c[0], dir + "/tavrin-visual.so");
  EXPECT_EQ(c[1], dir + "/../lib/tavrin/tavrin-visual.so");
  EXPECT_NE(c.back().find("/lib"), std::string::npos);
  setenv("TAVRIN_VISUAL", "/some/where/layer.so", 1);
  EXPECT_EQ(visualLayerCandidates(), std::vector<std::string>{"/some/where/layer.so"});
}

TEST(VisualLayer, AMissingLayerIsARunErrorNamingTheFileEveryTime) {
  setenv("TAVRIN_VISUAL", "/nonexistent/tavrin-visual.so", 1);
  State s;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      visualLayer(s);
      ADD_FAILURE() << "a missing layer loaded";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number, 217);
      EXPECT_NE(e.message.find("/nonexistent/tavrin-visual.so"), std::string::npos) << e.message;
      EXPECT_NE(e.message.find("qt6-base-dev"), std::string::npos) << e.message;
    }
  }
  EXPECT_FALSE(visualLayerStarted());
  EXPECT_FALSE(qtMapped());
}

// What the run reports, for a layer that cannot start.
std::string startFailure(const char* path) {
  setenv("TAVRIN_VISUAL", path, 1);
  State s;
  s.programName = "prog";
  try {
    visualLayer(s);
  } catch (const RunError& e) {
    EXPECT_EQ(e.number, 217);
    EXPECT_FALSE(visualLayerStarted());
    return e.message;
  }
  ADD_FAILURE() << path << " started";
  return {};
}

TEST(VisualLayer, AFileThatIsNoLayerOrOfAnotherVersionIsRefused) {
  EXPECT_NE(startFailure(TAVRIN_FAKE_LAYER0).find("is not a windowed layer of this engine"), std::string::npos);
  EXPECT_NE(startFailure(TAVRIN_FAKE_LAYER1).find("was built for another version of this engine"), std::string::npos);
  std::string notLoadable = startFailure(TAVRIN_SOURCE_DIR "/README.md");
  EXPECT_NE(notLoadable.find("cannot load the windowed layer"), std::string::npos) << notLoadable;
  EXPECT_NE(notLoadable.find("libqt6widgets6"), std::string::npos) << notLoadable;
}

TEST(VisualLayer, AFailingLayerGivesItsReasonAndItsNotesReachStandardError) {
  testing::internal::CaptureStderr();
  std::string message = startFailure(TAVRIN_FAKE_LAYER2);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("could not start: the fake layer fails on purpose"), std::string::npos) << message;
  EXPECT_NE(err.find("prog: fake layer: a note through the host"), std::string::npos) << err;
}

TEST(VisualLayer, TheSandboxRefusesIt) {
  State s;
  s.sandbox = true;
  try {
    visualLayer(s);
    ADD_FAILURE() << "the sandbox let the layer start";
  } catch (const RunError& e) {
    EXPECT_NE(e.message.find("refused in the sandbox"), std::string::npos) << e.message;
  }
  EXPECT_FALSE(qtMapped());
}

TEST(VisualLayer, StartsQtOffscreenAnswersAndEndsWithTheRun) {
#ifndef TAVRIN_VISUAL_BUILT
  GTEST_SKIP() << "the windowed layer is not built (no Qt 6 Widgets)";
#endif
  setenv("TAVRIN_VISUAL", TAVRIN_BINARY_DIR "/tavrin-visual.so", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("LC_ALL", "C.UTF-8", 1);  // Qt takes the user's locale: the layer must give LC_NUMERIC back
  State s;
  EXPECT_FALSE(qtMapped());  // the core links no Qt
  for (int round = 0; round < 2; ++round) {  // a later run in the same process starts it again
    const TavrinVisualLayer& layer = visualLayer(s);
    EXPECT_TRUE(visualLayerStarted());
    EXPECT_TRUE(qtMapped());
    ASSERT_NE(layer.qtVersion, nullptr);
    EXPECT_EQ(std::string(layer.qtVersion).substr(0, 2), "6.");
    EXPECT_EQ(layer.abi, TAVRIN_VISUAL_ABI);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(layer.processEvents(), kVisualOk);
    EXPECT_EQ(&visualLayer(s), &layer);  // started once
    visualLayerEnd(s);
    EXPECT_FALSE(visualLayerStarted());
  }
}

}  // namespace
}  // namespace tavrin
