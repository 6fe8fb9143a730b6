// Console programs in a real pseudo-terminal: the screen they draw (read through a small VT
// terminal), keys typed as terminals send them, and the terminal settings after every way
// out (normal end, StmtEnd, a run-time error, SIGINT, SIGTERM). Every wait is bounded.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/pty/vt_screen.h"

namespace tavrin::pty {
namespace {

constexpr int kColumns = 100, kRows = 30;
constexpr int kTimeoutMs = 5000;

std::string tool() {
  const char* t = std::getenv("TAVRIN_TOOL");
  return t ? t : TAVRIN_BINARY_DIR "/tavrin";
}

// Assembles a program into the test's temporary directory; empty on failure.
std::string assemble(const std::string& source) {
  static int counter = 0;
  std::string out = std::string(::testing::TempDir()) + "tavrin_pty_" + std::to_string(getpid()) + "_" +
                    std::to_string(counter++);
  std::string command = "'" + tool() + "' asm '" + source + "' -o '" + out + "'";
  return std::system(command.c_str()) == 0 ? out : std::string();
}

bool sameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

class PtyRun {
 public:
  PtyRun(int columns = kColumns, int rows = kRows) : m_columns(columns), m_rows(rows), m_screen(columns, rows) {}
  ~PtyRun() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_master >= 0) close(m_master);
    if (m_slave >= 0) close(m_slave);
  }

  bool start(const std::string& program, const std::vector<std::pair<std::string, std::string>>& env = {}) {
    winsize ws{};
    ws.ws_col = uint16_t(m_columns);
    ws.ws_row = uint16_t(m_rows);
    m_pid = forkpty(&m_master, nullptr, nullptr, &ws);
    if (m_pid < 0) return false;
    if (m_pid == 0) {
      setenv("TERM", "xterm-256color", 1);
      setenv("LANG", "C.UTF-8", 1);
      unsetenv("LC_ALL");
      unsetenv("LC_CTYPE");
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    // The slave side, kept open to read its settings after the program has gone.
    m_slave = open(ptsname(m_master), O_RDWR | O_NOCTTY);
    if (m_slave < 0 || tcgetattr(m_slave, &m_initial) != 0) return false;
    return true;
  }

  // Reads what the program wrote, for up to ms milliseconds.
  void pump(int ms) {
    pollfd p{m_master, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return;
    char buffer[8192];
    ssize_t n = read(m_master, buffer, sizeof buffer);
    if (n > 0) m_screen.feed(std::string_view(buffer, size_t(n)));
  }

  bool waitFor(const std::function<bool(const VtScreen&)>& condition) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (!condition(m_screen)) {
      if (std::chrono::steady_clock::now() > end) return false;
      pump(20);
    }
    return true;
  }
  bool waitForText(const std::string& text) {
    return waitFor([&](const VtScreen& s) { return s.text().find(text) != std::string::npos; });
  }

  void type(std::string_view keys) { ASSERT_EQ(write(m_master, keys.data(), keys.size()), ssize_t(keys.size())); }

  // Waits for the program to end, reading its output meanwhile; the exit status, or -1.
  int waitExit() {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
      pid_t r = waitpid(m_pid, &status, WNOHANG);
      if (r == m_pid) {
        m_pid = -1;
        for (int i = 0; i < 5; ++i) pump(10);  // what is still in the pipe
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
      }
      pump(10);
    }
    return -1;
  }

  bool settingsRestored() const {
    termios now{};
    return tcgetattr(m_slave, &now) == 0 && sameSettings(now, m_initial);
  }
  bool settingsChanged() const {
    termios now{};
    return tcgetattr(m_slave, &now) == 0 && !sameSettings(now, m_initial);
  }
  pid_t pid() const { return m_pid; }
  const VtScreen& screen() const { return m_screen; }

 private:
  int m_columns, m_rows;
  pid_t m_pid = -1;
  int m_master = -1, m_slave = -1;
  termios m_initial{};
  VtScreen m_screen;
};

class ConsolePty : public ::testing::Test {
 protected:
  static std::string demo() { return assemble(TAVRIN_SOURCE_DIR "/examples/console_demo.tasm"); }
  static std::string program(const char* name) {
    return assemble(std::string(TAVRIN_SOURCE_DIR "/tests/pty/programs/") + name + ".tasm");
  }
  // Starts the demo and waits for its screen.
  void startDemo(PtyRun& run) {
    std::string path = demo();
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(run.start(path));
    ASSERT_TRUE(run.waitForText("Key: none yet")) << run.screen().text();
  }
};

TEST_F(ConsolePty, DemoDrawsColoursTheBoxAndTheTitle) {
  PtyRun run;
  startDemo(run);
  const VtScreen& s = run.screen();
  EXPECT_TRUE(s.alternate());
  EXPECT_EQ(s.title(), "Tavrin console demo");
  EXPECT_EQ(s.rowText(1), "  ╔" + [] { std::string r; for (int i = 0; i < 42; ++i) r += "═"; return r; }() + "╗");
  EXPECT_EQ(s.rowText(2).rfind("  ║ Tavrin console demo ♥ ♫ ☺  ", 0), 0u) << s.rowText(2);
  // White on blue for the box: console colour 1 is ANSI 4.
  EXPECT_EQ(s.cell(2, 1).fg, 15);
  EXPECT_EQ(s.cell(2, 1).bg, 4);
  EXPECT_EQ(s.cell(4, 2).fg, 11);  // console yellow 14 = bright ANSI 3
  // The strip of the sixteen backgrounds in the console's order: 1 blue, 4 red, 6 brown.
  const int ansiOf[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  for (int c = 0; c < 16; ++c) EXPECT_EQ(s.cell(4 + 2 * c, 3).bg, ansiOf[c]) << "colour " << c;
  EXPECT_TRUE(run.settingsChanged());  // raw mode while it runs
  run.type("q");
  EXPECT_EQ(run.waitExit(), 0);
}

TEST_F(ConsolePty, KeysTypedAsTerminalsSendThem) {
  PtyRun run;
  startDemo(run);
  struct Case {
    const char* keys;
    const char* shown;
  };
  const Case cases[] = {
      {"\x1bOP", "Key: ESC 59"},  // F1 (xterm)
      {"a", "Key: 97"},
      {"\x1b[A", "Key: ESC 72"},     // Up
      {"\x1b[[E", "Key: ESC 63"},    // F5 (Linux console)
      {"\x1b[1;5C", "Key: ESC 77"},  // Ctrl+Right
      {"\xc3\xa9", "Key: 130"},      // é as its code page 437 byte
      {"\x1b[3~", "Key: ESC 83"},    // Delete
  };
  for (const Case& c : cases) {
    run.type(c.keys);
    EXPECT_TRUE(run.waitForText(c.shown)) << c.shown << "\n" << run.screen().text();
  }
  // A sequence split over two writes is still one key.
  run.type("\x1b[2");
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  run.type("4~");
  EXPECT_TRUE(run.waitForText("Key: ESC 88")) << run.screen().text();
  run.type("q");
  EXPECT_EQ(run.waitExit(), 0);
  EXPECT_TRUE(run.settingsRestored());
  EXPECT_FALSE(run.screen().alternate());
  EXPECT_TRUE(run.screen().cursorVisible());
  // The last screen stays on the normal one.
  EXPECT_NE(run.screen().text().find("Bye."), std::string::npos) << run.screen().text();
  EXPECT_NE(run.screen().text().find("Key: ESC 88"), std::string::npos);
}

// Every key form the decoder knows beyond the demo's: Alt with the bytes that begin
// sequences, Alt+Esc, rxvt's modified keys, keypad Enter. Each key shows as one line.
TEST_F(ConsolePty, AltAndRxvtKeyForms) {
  std::string path = program("key_log");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  ASSERT_TRUE(run.waitForText("ready"));
  struct Case {
    const char* keys;
    const char* shown;  // the key function's text: a character, or ESC and a code
  };
  const Case cases[] = {
      {"\x1b[", "91"},        // Alt+[ (nothing follows within the timeout)
      {"\x1bO", "79"},        // Alt+Shift+O
      {"\x1b\x1b", "27"},     // Alt+Esc, one key
      {"\x1b[a", "27 72"},    // Shift+Up
      {"\x1b[d", "27 75"},    // Shift+Left
      {"\x1bOc", "27 77"},    // Ctrl+Right
      {"\x1bOb", "27 80"},    // Ctrl+Down
      {"\x1b[7^", "27 71"},   // Ctrl+Home
      {"\x1b[5^", "27 73"},   // Ctrl+PgUp
      {"\x1b[11^", "27 59"},  // Ctrl+F1
      {"\x1b[7$", "27 71"},   // Shift+Home
      {"\x1b[3$", "27 83"},   // Shift+Delete
      {"\x1bOM", "13"},       // keypad Enter
      {"\x1b\x1b[B", "27 80"}, // Alt+Down as ESC and the sequence
      {"x", "120"},
  };
  int n = 0;
  for (const Case& c : cases) {
    run.type(c.keys);
    const std::string line = std::to_string(++n) + ": " + c.shown;
    ASSERT_TRUE(run.waitForText(line)) << line << "\n" << run.screen().text();
  }
  run.type("q");
  EXPECT_EQ(run.waitExit(), 0);
  // one line per key: nothing came as two keys
  EXPECT_EQ(run.screen().text().find(std::to_string(n + 1) + ":"), std::string::npos) << run.screen().text();
}

TEST_F(ConsolePty, LoneEscEndsTheDemoThroughStmtEnd) {
  PtyRun run;
  startDemo(run);
  run.type("\x1b");
  EXPECT_EQ(run.waitExit(), 0);
  EXPECT_TRUE(run.settingsRestored());
  EXPECT_FALSE(run.screen().alternate());
  EXPECT_EQ(run.screen().text().find("Bye."), std::string::npos);  // it never got there
}

TEST_F(ConsolePty, RunTimeErrorRestoresTheTerminalBeforeItsMessage) {
  std::string path = program("run_error");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  EXPECT_EQ(run.waitExit(), 200);
  EXPECT_TRUE(run.settingsRestored());
  const VtScreen& s = run.screen();
  EXPECT_FALSE(s.alternate());
  EXPECT_TRUE(s.cursorVisible());
  std::string text = s.text();
  EXPECT_NE(text.find("before the error"), std::string::npos) << text;
  EXPECT_NE(text.find("run-time error 200"), std::string::npos) << text;
}

TEST_F(ConsolePty, CtrlCEndsWith130AndRestores) {
  PtyRun run;
  startDemo(run);
  run.type("\x03");
  EXPECT_EQ(run.waitExit(), 130);
  EXPECT_TRUE(run.settingsRestored());
  EXPECT_FALSE(run.screen().alternate());
  EXPECT_NE(run.screen().text().find("Key: none yet"), std::string::npos);
}

TEST_F(ConsolePty, SigtermEndsWith143AndRestores) {
  std::string path = program("wait_forever");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  ASSERT_TRUE(run.waitForText("waiting"));
  kill(run.pid(), SIGTERM);
  EXPECT_EQ(run.waitExit(), 143);
  EXPECT_TRUE(run.settingsRestored());
  EXPECT_FALSE(run.screen().alternate());
}

TEST_F(ConsolePty, LineInputEchoesAndEdits) {
  std::string path = program("line_edit");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  ASSERT_TRUE(run.waitForText("Name?"));
  run.type("abx");
  ASSERT_TRUE(run.waitForText("Name? abx"));
  run.type("\x7f" "c");
  ASSERT_TRUE(run.waitForText("Name? abc")) << run.screen().text();
  EXPECT_EQ(run.screen().cell(7, 0).fg, 10);  // echoed in the text colour: bright green
  run.type("\r");
  EXPECT_EQ(run.waitExit(), 0);
  std::string text = run.screen().text();
  EXPECT_NE(text.find("Name? abc\n[abc]\ndone"), std::string::npos) << text;
  EXPECT_TRUE(run.settingsRestored());
}

// Left, Right, Home, End, Delete and Insert edit within the line being typed; the line the
// program gets and the echo are those of the edited text.
TEST_F(ConsolePty, LineInputMovesAndEditsWithinTheLine) {
  std::string path = program("line_edit");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  ASSERT_TRUE(run.waitForText("Name?"));
  const std::string left = "\x1b[D", right = "\x1b[C", home = "\x1b[H", end = "\x1b[F", del = "\x1b[3~",
                    ins = "\x1b[2~";
  auto shows = [&](const std::string& row, int cursor) {
    return run.waitFor([&](const VtScreen& s) { return s.rowText(0) == row && s.cursorX() == cursor; });
  };
  run.type("helo" + left + "l");
  ASSERT_TRUE(shows("Name? hello", 10)) << run.screen().text() << run.screen().cursorX();
  run.type(home + del);
  ASSERT_TRUE(shows("Name? ello", 6)) << run.screen().text();
  run.type("H" + end + " world");
  ASSERT_TRUE(shows("Name? Hello world", 17)) << run.screen().text();
  run.type("\x7f\x7f\x7f\x7f\x7f\x7f");  // Backspace: the erased cells are blank again
  ASSERT_TRUE(shows("Name? Hello", 11)) << run.screen().text();
  run.type(" world" + home + right + ins + "a" + ins + "!");  // overwrite e with a, then insert
  ASSERT_TRUE(shows("Name? Ha!llo world", 9)) << run.screen().text();
  run.type("\r");
  EXPECT_EQ(run.waitExit(), 0);
  std::string text = run.screen().text();
  EXPECT_NE(text.find("Name? Ha!llo world\n[Ha!llo world]\ndone"), std::string::npos) << text;
}

TEST_F(ConsolePty, ReverseVideoAndUnderscoreBitsAreDrawn) {
  std::string path = program("attributes");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  ASSERT_TRUE(run.waitForText("ready"));
  auto check = [](const VtScreen& s, const char* when) {
    EXPECT_TRUE(s.cell(0, 0).reverse && !s.cell(0, 0).underline) << when;
    EXPECT_TRUE(s.cell(8, 0).underline && !s.cell(8, 0).reverse) << when;
    EXPECT_TRUE(s.cell(14, 0).reverse && s.cell(14, 0).underline) << when;
    EXPECT_EQ(s.cell(14, 0).fg, 11) << when;  // the colours stay: yellow on blue
    EXPECT_EQ(s.cell(14, 0).bg, 4) << when;
    EXPECT_FALSE(s.cell(1, 0).reverse || s.cell(1, 0).underline) << when;
    EXPECT_FALSE(s.cell(20, 0).reverse || s.cell(20, 0).underline) << when;
  };
  check(run.screen(), "while running");
  run.type("q");
  EXPECT_EQ(run.waitExit(), 0);
  ASSERT_FALSE(run.screen().alternate());
  check(run.screen(), "the last screen");
}

// In an 80x25 terminal the last screen of a program that paints all 25 rows blue but
// writes only the top eight keeps them in view: it is written up to the cursor's row.
TEST_F(ConsolePty, LastFullColourScreenStaysInAn80x25Terminal) {
  std::string path = program("full_colour");
  ASSERT_FALSE(path.empty());
  PtyRun run(80, 25);
  ASSERT_TRUE(run.start(path));
  EXPECT_EQ(run.waitExit(), 0);
  const VtScreen& s = run.screen();
  ASSERT_FALSE(s.alternate());
  EXPECT_TRUE(s.everAlternate());
  for (int r = 0; r < 8; ++r) EXPECT_EQ(s.rowText(r), "row " + std::to_string(r + 1)) << s.text();
  EXPECT_EQ(s.scrollbackRows(), 0u) << "nothing scrolled out";
  EXPECT_EQ(s.cell(0, 0).bg, 4);
  EXPECT_EQ(s.cell(79, 9).bg, 4) << "the rows up to the cursor keep their colour";
  EXPECT_EQ(s.cursorY(), 10);
}

// A program that only prints lines leaves them all in the terminal's scrollback, in
// order, without the alternate screen.
TEST_F(ConsolePty, PrintOnlyProgramLeavesItsLinesInTheScrollback) {
  std::string path = program("print_lines");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path));
  EXPECT_EQ(run.waitExit(), 0);
  const VtScreen& s = run.screen();
  EXPECT_FALSE(s.everAlternate());
  std::string want;
  for (int i = 1; i <= 2000; ++i) want += "line " + std::to_string(i) + "\n";
  const std::string all = s.textWithScrollback();
  EXPECT_EQ(all.rfind(want, 0), 0u) << all.substr(0, 400) << "\n...\n" << all.substr(all.size() > 400 ? all.size() - 400 : 0);
  EXPECT_TRUE(run.settingsRestored());
}

// A terminal whose terminfo entry names key sequences the built-in table does not know.
TEST_F(ConsolePty, KeysFromTheTerminfoEntryOfAnUnusualTerm) {
  const std::string dir = std::string(::testing::TempDir()) + "tavrin_terminfo_" + std::to_string(getpid());
  const std::string source = dir + ".src";
  FILE* f = std::fopen(source.c_str(), "w");
  ASSERT_TRUE(f);
  std::fputs("tavrin-test|a terminal with keys of its own,\n\tkf1=\\E[77Y, kcuu1=\\E[66Y, kdch1=\\E[3~,\n\tuse=xterm-256color,\n", f);
  std::fclose(f);
  if (std::system(("tic -o '" + dir + "' '" + source + "' 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no tic";
  std::string path = program("key_log");
  ASSERT_FALSE(path.empty());
  PtyRun run;
  ASSERT_TRUE(run.start(path, {{"TERM", "tavrin-test"}, {"TERMINFO", dir}}));
  ASSERT_TRUE(run.waitForText("ready"));
  run.type("\x1b[77Y");
  EXPECT_TRUE(run.waitForText("1: 27 59")) << run.screen().text();  // F1
  run.type("\x1b[66Y");
  EXPECT_TRUE(run.waitForText("2: 27 72")) << run.screen().text();  // Up
  run.type("\x1bOP");
  EXPECT_TRUE(run.waitForText("3: 27 59")) << run.screen().text();  // the built-in F1 still
  run.type("q");
  EXPECT_EQ(run.waitExit(), 0);
  std::system(("rm -rf '" + dir + "' '" + source + "'").c_str());
}

}  // namespace
}  // namespace tavrin::pty
