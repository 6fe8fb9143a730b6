// The `tavrin` tool: run, asm, disasm, bind and extract.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "interp/run.h"
#include "runtime/host_stack.h"
#include "runtime/loader.h"
#include "tools/asm.h"
#include "tools/image_file.h"
#include "tools/service_list.h"

namespace {

using namespace tavrin;

constexpr const char* kUsage =
    "usage: tavrin COMMAND [OPTIONS] ...\n"
    "  run [--trace] [--trace-external] [--no-decode] [--stats] [--max-steps N] [--max-memory BYTES]\n"
    "      [--max-time SECONDS] [--drive SCRIPT] FILE [ARGS...]\n"
    "                         run the program at the tail of FILE\n"
    "  asm [--image] SRC -o OUT   assemble SRC into a runnable program (or a bare image)\n"
    "  disasm FILE            print the program of FILE (a program or a bare image) as assembly\n"
    "  bind IMAGE -o OUT      append IMAGE and its trailer to a copy of the engine\n"
    "  extract FILE -o IMAGE  write the image carried by FILE\n"
    "  --help, --version\n";

[[noreturn]] void usage(const std::string& reason) {
  std::fprintf(stderr, "tavrin: %s\n(see tavrin --help)\n", reason.c_str());
  std::exit(2);
}

[[noreturn]] void fail(const std::string& reason) {
  std::fprintf(stderr, "tavrin: %s\n", reason.c_str());
  std::exit(1);
}

std::vector<uint8_t> readFile(const std::string& path) {
  try {
    return readWholeFile(path);
  } catch (const std::exception& e) {
    fail(e.what());
  }
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool executable) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) fail("cannot write " + path);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) fail("cannot write " + path);
  if (executable) chmod(path.c_str(), 0755);
}

std::string enginePath() {
  if (const char* env = std::getenv("TAVRIN_ENGINE"); env && *env) return env;
  std::string self = ownExecutablePath();
  auto slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/tavrin-engine";
}

std::vector<uint8_t> bind(const std::vector<uint8_t>& image) { return bindImage(readFile(enginePath()), image); }

std::vector<uint8_t> imageOf(const std::string& path, bool allowBare) {
  try {
    return imageOfFile(path, allowBare);
  } catch (const std::exception& e) {
    fail(e.what());
  }
}

struct Args {
  std::vector<std::string> positional;
  std::string output;
  bool image = false;
};

Args parseOutputArgs(int argc, char** argv, int from, bool allowImage) {
  Args a;
  for (int i = from; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-o") {
      if (++i >= argc) usage("-o needs a file name");
      a.output = argv[i];
    } else if (allowImage && arg == "--image") {
      a.image = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      usage("unknown option " + arg);
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

// Why a program file cannot be read, in the C library's words; empty when it can.
std::string unreadableReason(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  return {};
}

int commandRun(int argc, char** argv) {
  RunOptions options;
  options.quietWithoutImage = false;
  int i = 2;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--trace") options.trace = true;
    // Each external call with its arguments and result on stderr; the engine reads the
    // variable, so a bound program is traced the same way without the tool.
    else if (arg == "--trace-external") setenv("TAVRIN_TRACE_EXTERNAL", "1", 1);
    else if (arg == "--no-decode") options.decode = false;
    // Steps that drive a windowed program headless (docs/driver.md).
    else if (arg == "--drive") {
      if (i + 1 >= argc) usage(arg + " needs a script file");
      options.driveScript = argv[++i];
      if (std::string why = unreadableReason(options.driveScript); !why.empty()) {
        std::fprintf(stderr, "tavrin: cannot open the drive script %s: %s\n", options.driveScript.c_str(), why.c_str());
        std::exit(2);
      }
    }
    // On exit, the share of statements that ran decoded and the classes that did not (stderr).
    else if (arg == "--stats") setenv("TAVRIN_STATS", "1", 1);
    else if (arg == "--max-steps" || arg == "--max-memory") {
      if (i + 1 >= argc) usage(arg + " needs a number");
      char* end = nullptr;
      unsigned long long v = std::strtoull(argv[++i], &end, 10);
      if (!end || *end || v == 0) usage(arg + " needs a positive whole number");
      (arg == "--max-steps" ? options.maxSteps : options.maxMemory) = v;
    } else if (arg == "--max-time") {
      if (i + 1 >= argc) usage(arg + " needs a number");
      char* end = nullptr;
      double v = std::strtod(argv[++i], &end);
      if (!end || end == argv[i] || *end || !(v > 0) || v > 1e9) usage(arg + " needs a positive number of seconds");
      options.maxTime = v;
    } else if (arg == "--") { ++i; break; }
    else if (arg.size() > 1 && arg[0] == '-') usage("unknown option " + arg);
    else break;
  }
  if (i >= argc) usage("run needs a FILE");
  options.imagePath = argv[i];
  for (; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  if (std::string why = unreadableReason(options.imagePath); !why.empty()) {
    std::fprintf(stderr, "tavrin: cannot open %s: %s\n", options.imagePath.c_str(), why.c_str());
    std::exit(2);
  }
  return runProgramFile(options, engineServices());
}

std::string readText(const std::string& path) {
  std::vector<uint8_t> bytes = readFile(path);
  return std::string(bytes.begin(), bytes.end());
}

int commandAsm(int argc, char** argv) {
  Args a = parseOutputArgs(argc, argv, 2, true);
  if (a.positional.size() != 1) usage("asm needs one source file");
  if (a.output.empty()) usage("asm needs -o OUT");
  std::vector<uint8_t> image;
  try {
    image = assemble(readText(a.positional[0]), a.positional[0]);
  } catch (const AsmError& e) {
    std::fprintf(stderr, "%s:%d: %s\n", e.file.c_str(), e.line, e.message.c_str());
    return 1;
  }
  writeFile(a.output, a.image ? image : bind(image), !a.image);
  return 0;
}

int commandDisasm(int argc, char** argv) {
  Args a = parseOutputArgs(argc, argv, 2, false);
  if (a.positional.size() != 1) usage("disasm needs one file");
  std::string text = disassemble(imageOf(a.positional[0], true));
  if (a.output.empty()) std::fwrite(text.data(), 1, text.size(), stdout);
  else writeFile(a.output, std::vector<uint8_t>(text.begin(), text.end()), false);
  return 0;
}

int commandBind(int argc, char** argv) {
  Args a = parseOutputArgs(argc, argv, 2, false);
  if (a.positional.size() != 1 || a.output.empty()) usage("bind needs IMAGE -o OUT");
  writeFile(a.output, bind(readFile(a.positional[0])), true);
  return 0;
}

int commandExtract(int argc, char** argv) {
  Args a = parseOutputArgs(argc, argv, 2, false);
  if (a.positional.size() != 1 || a.output.empty()) usage("extract needs FILE -o IMAGE");
  writeFile(a.output, imageOf(a.positional[0], false), false);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  tavrin::prepareHostStack();
  if (argc < 2) usage("no command given");
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("tavrin %s\n", TAVRIN_VERSION);
    return 0;
  }
  if (command == "run") return commandRun(argc, argv);
  if (command == "asm") return commandAsm(argc, argv);
  if (command == "disasm") return commandDisasm(argc, argv);
  if (command == "bind") return commandBind(argc, argv);
  if (command == "extract") return commandExtract(argc, argv);
  usage("unknown command " + command);
}
