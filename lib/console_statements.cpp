// The console's statements (printing, colour, cursor, clearing, title, pages, pokes,
// modifier flag) and built-in functions (keys, line input, cursor, peeks, handles); the
// ports and the tone are the sound service's (lib/sound_statements.cpp).
#include <cmath>
#include <string>

#include "interp/convert.h"
#include "interp/handlers.h"
#include "lib/console.h"
#include "interp/state.h"
#include "runtime/time_limit.h"

namespace tavrin {

namespace {

// One print item to standard output, then its terminator (11: no line end).
void printItem(State& s, bool text) {
  if (text) {
    consoleWrite(s, s.resultStr);
  } else {
    std::string number = printedNumber(s.resultNum);
    consoleWrite(s, number);
  }
  if (s.code.u8() != 11) consoleWrite(s, "\n");
  consolePresent(s);
}

int32_t argRounded(State& s) {
  double v;
  std::string ignored;
  evaluate(s, v, ignored);
  return roundToInt(v);
}

}  // namespace

void execStmtPrint(State& s) { printItem(s, evaluate(s)); }

void execStmtPrintPage(State& s) {
  uint8_t page = uint8_t(evaluateInt(s));
  if (page >= kScreenPages) page = 0;
  bool text = evaluate(s);
  if (page == 0) return printItem(s, text);
  ConsoleState& c = console(s);
  if (text)
    printToPage(c, page, s.resultStr);
  else
    printToPage(c, page, pageNumberText(s.resultNum, s.core.decimalSeparator));
  if (s.code.u8() != 11) {
    c.locateRow = int16_t(c.locateRow + 1);
    c.locateColumn = 0;
  }
}

void execStmtConsoleColour(State& s) {
  if (s.code.u8() == 11) {
    uint8_t background = uint8_t(evaluateInt(s));
    setBackground(console(s), background);
    return;
  }
  uint8_t foreground = uint8_t(evaluateInt(s));
  setForeground(console(s), foreground);
  if (s.code.u8() != 11) {
    uint8_t background = uint8_t(evaluateInt(s));
    setBackground(console(s), background);
  }
}

void execStmtConsoleLocate(State& s) {
  if (s.code.u8() == 11) {  // no row
    if (s.code.u8() == 11) {
      int32_t size = evaluateInt(s);
      setCursorSize(console(s), size);
    } else {
      uint8_t column = uint8_t(evaluateInt(s));
      ConsoleState& c = console(s);
      gotoColRow(c, column, uint8_t(cursorRow(c)));
      if (s.code.u8() != 11) {
        int32_t size = evaluateInt(s);
        setCursorSize(console(s), size);
      }
    }
  } else {
    uint8_t row = uint8_t(evaluateInt(s));
    uint8_t m2 = s.code.u8();
    if (m2 == 11 || m2 == 2) {
      ConsoleState& c = console(s);
      gotoColRow(c, uint8_t(cursorColumn(c)), row);
      if (m2 == 2) {
        int32_t size = evaluateInt(s);
        setCursorSize(console(s), size);
      }
    } else {
      uint8_t column = uint8_t(evaluateInt(s));
      gotoColRow(console(s), column, row);
      if (s.code.u8() != 11) {
        int32_t size = evaluateInt(s);
        setCursorSize(console(s), size);
      }
    }
  }
  consolePresent(s);
}

void execStmtConsoleClear(State& s) {
  clearScreen(console(s));
  consolePresent(s);
}

void execStmtConsoleTitle(State& s) {
  const std::string& title = evaluateText(s);
  console(s).screen.setTitle(title);
  consolePresent(s);
}

void execStmtScreenPage(State& s) {
  double a = evaluateNumber(s);
  int32_t b = evaluateInt(s);
  if (a == 0)
    saveScreenToPage(console(s), b);
  else
    copyPage(console(s), truncateToInt(a), b);
  consolePresent(s);
}

void execStmtPokeScreen(State& s) {
  int32_t offset = evaluateInt(s);
  uint16_t value = uint16_t(evaluateInt(s));
  pokeScreen(console(s), offset, value);
  consolePresent(s);
}

void execStmtPokePage(State& s) {
  int32_t page = evaluateInt(s) % kScreenPages;
  int32_t offset = evaluateInt(s);
  uint16_t value = uint16_t(evaluateInt(s));
  if (page == 0) {
    pokeScreen(console(s), offset, value);
    consolePresent(s);
  } else {
    pokePage(console(s), page, offset, value);  // a negative page is no page
  }
}

void execStmtModifierFlag(State& s) {
  uint8_t flag = s.code.u8();
  console(s).modifierReport = flag;
}

void fnReadKeyText(State& s, EvalStack& e) {
  std::string& out = e.pushTextSlot();
  out.clear();
  if (!keyAvailable(s)) return;
  int16_t k = readKeyCode(s);
  if (k > 0) {
    out.push_back(char(k));
  } else if (k < 0) {
    out.push_back('\x1b');
    out.push_back(char(-k));
  }
}

void fnConsoleLine(State& s, EvalStack& e) {
  std::string& line = e.pushTextSlot();
  readConsoleLine(s, line);
  convert::FormatSettings settings;
  settings.decimalSeparator = s.core.decimalSeparator;
  double v;
  if (e.destNum && convert::lenientNumber(line, v, settings)) *e.destNum = v;
}

void fnCursorColumnOf(State& s, EvalStack& e) {
  double ignored;
  std::string ignoredText;
  evaluate(s, ignored, ignoredText);
  e.pushNumber(cursorColumn(console(s)));
}

void fnCursorRowOf(State& s, EvalStack& e) { e.pushNumber(cursorRow(console(s))); }

void fnPeekScreenAt(State& s, EvalStack& e) {
  int32_t offset = argRounded(s);
  e.pushNumber(peekScreen(console(s), offset));
}

void fnPeekPageAt(State& s, EvalStack& e) {
  int32_t page = argRounded(s) % kScreenPages;
  int32_t offset = argRounded(s);
  ConsoleState& c = console(s);
  e.pushNumber(page == 0 ? peekScreen(c, offset) : peekPage(c, page, offset));
}

void fnScreenCellAt(State& s, EvalStack& e) {
  int32_t row = argRounded(s);
  int32_t column = argRounded(s);
  double flag;
  std::string ignored;
  evaluate(s, flag, ignored);
  e.pushNumber(screenCell(console(s), row, column, flag != 0));
}

void fnStdInputHandle(State&, EvalStack& e) { e.pushNumber(kConsoleInputHandle); }
void fnStdOutputHandle(State&, EvalStack& e) { e.pushNumber(kConsoleOutputHandle); }

}  // namespace tavrin
