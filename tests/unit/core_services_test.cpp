// The Windows wildcard rules and the path layer, and the engine message queue's delivery
// rules, which a console program cannot reach (it has no windows of its own).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "interp/message_queue.h"
#include "lib/paths.h"
#include "interp/state.h"

namespace tavrin {
namespace {

TEST(Wildcards, StarsQuestionMarksAndDots) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.*", "noext", true},        {"*.*", ".hidden", true},      {"*", "a.b.c", true},
      {"*.", "noext", true},         {"*.", "a.txt", false},        {"*.txt", "A.TXT", true},
      {"*.txt", "a.b.txt", true},    {"*.txt", "txt.b", false},     {"*.txt", "a.txt.bak", false},
      {"?????.txt", "beta.txt", true}, {"?????.txt", "alphas.txt", false}, {"a?c", "abc", true},
      {"a?c", "ac", false},          {"ab?", "ab", true},           {"a.*", "a", true},
      {"a.*", "ab", false},          {"a*b", "aXYZb", true},        {"a*b", "aXYZ", false},
      {"readme", "README", true},    {"readme", "readme.txt", false}, {"*a*", "bab", true},
      {"?", "", true},               {"x.?", "x", true},            {"x.?", "x.ab", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(Wildcards, ManyStarsStayFast) {
  std::string pattern, name(200, 'a');
  for (int i = 0; i < 30; ++i) pattern += "*a";
  pattern += "*b";
  EXPECT_FALSE(wildcardMatch(pattern, name));  // exponential without the memo
  EXPECT_TRUE(wildcardMatch(pattern, name + "b"));
}

class PathsTest : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tavrin-paths.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    mkdir((m_dir + "/Folder").c_str(), 0777);
    std::ofstream(m_dir + "/Folder/File.TXT") << "x";
  }
  void TearDown() override {
    unlink((m_dir + "/Folder/File.TXT").c_str());
    rmdir((m_dir + "/Folder").c_str());
    rmdir(m_dir.c_str());
  }
  std::string m_dir;
};

TEST_F(PathsTest, ExistingPathsStayAsGivenOthersAreLookedUpWithoutCase) {
  EXPECT_EQ(hostPath(m_dir + "/Folder/File.TXT"), m_dir + "/Folder/File.TXT");
  EXPECT_EQ(hostPath(m_dir + "\\folder\\file.txt"), m_dir + "/Folder/File.TXT");
  // A missing last component keeps its spelling, so new files get the name asked for.
  EXPECT_EQ(hostPath(m_dir + "\\FOLDER\\New.txt"), m_dir + "/Folder/New.txt");
  EXPECT_EQ(hostPath(m_dir + "\\missing\\deeper"), m_dir + "/missing/deeper");
  EXPECT_EQ(hostPath(""), "");
}

TEST_F(PathsTest, DriveLettersMapToTheirDirectory) {
  setenv("TAVRIN_DRIVE_Q", m_dir.c_str(), 1);
  EXPECT_EQ(driveDirectory('q'), m_dir);
  EXPECT_EQ(hostPath("Q:\\folder\\FILE.txt"), m_dir + "/Folder/File.TXT");
  EXPECT_EQ(hostPath("q:folder"), m_dir + "/Folder");
  EXPECT_EQ(hostPath("Q:\\"), m_dir);
}

struct Received {
  std::vector<WindowMessage> messages;
};

int32_t record(State&, void* context, const WindowMessage& m) {
  static_cast<Received*>(context)->messages.push_back(m);
  return int32_t(m.message) + 1;
}

TEST(MessageQueue, DeliversOnlyToWindowsThatExistAndOnlyWhenPumped) {
  State s;
  Received got;
  uint32_t w = newWindowHandle(s);
  EXPECT_NE(newWindowHandle(s), w);
  registerWindow(s, w, record, &got);
  EXPECT_FALSE(postMessage(s, {w + 1, 1024, 0, 0}));  // no such window: dropped
  EXPECT_TRUE(postMessage(s, {w, 1024, 1, 2}));
  EXPECT_TRUE(postMessage(s, {w, 1025, 3, 4}));
  EXPECT_TRUE(got.messages.empty());  // nothing runs until the program pumps
  EXPECT_EQ(sendMessage(s, {w, 7, 0, 0}), 8);  // a send is delivered at once
  ASSERT_EQ(got.messages.size(), 1u);
  EXPECT_TRUE(removeMessage(s, w, 1025));
  EXPECT_FALSE(removeMessage(s, w, 1025));
  processMessages(s);
  ASSERT_EQ(got.messages.size(), 2u);
  EXPECT_EQ(got.messages[1].message, 1024u);
  EXPECT_EQ(got.messages[1].lParam, 2);
  EXPECT_EQ(sendMessage(s, {w + 1, 7, 0, 0}), 0);
}

TEST(MessageQueue, ARemovedQuitRequestIsPostedAgainAndAGoneWindowLosesItsMessages) {
  State s;
  Received got;
  uint32_t w = newWindowHandle(s);
  registerWindow(s, w, record, &got);
  postMessage(s, {w, kWmQuit, 5, 0});
  postMessage(s, {w, 1024, 0, 0});
  EXPECT_TRUE(removeMessage(s, w, kWmQuit));
  processMessages(s);
  ASSERT_EQ(got.messages.size(), 2u);
  EXPECT_EQ(got.messages[0].message, 1024u);
  EXPECT_EQ(got.messages[1].message, kWmQuit);
  EXPECT_EQ(got.messages[1].wParam, 5);
  postMessage(s, {w, 1024, 0, 0});
  unregisterWindow(s, w);
  processMessages(s);
  EXPECT_EQ(got.messages.size(), 2u);
}

}  // namespace
}  // namespace tavrin
