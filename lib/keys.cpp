// The key decoder: a prefix tree over the escape sequences of xterm, VT220, rxvt and the
// Linux console (both cursor-key modes, xterm's modifier parameters, rxvt's modifier
// finals), plain bytes through one table of US-layout scan codes, UTF-8 through code page
// 437.
#include "lib/keys.h"

#include <array>
#include <string_view>
#include <vector>

#include "lib/cp437.h"

namespace tavrin {

int16_t keyCode(const InputEvent& e, bool reportModifiers) {
  if (e.state == 0) return e.ch ? int16_t(e.ch) : int16_t(-e.scan);
  if (e.state == kEnhancedKey) return int16_t(-e.scan);
  if (e.ch) return int16_t(e.ch);
  if (reportModifiers) return int16_t(-e.scan);
  switch (e.scan) {
    case kScanCtrl: case kScanLeftShift: case kScanRightShift: case kScanAlt:
    case kScanCapsLock: case kScanNumLock: case kScanScrollLock:
      return 0;
    default:
      return int16_t(-e.scan);
  }
}

namespace {

// Scan code and shift of each printable ASCII character on a US keyboard.
struct PlainKey {
  uint8_t scan;
  bool shift;
};
constexpr std::array<PlainKey, 95> kPrintable = {{
    {57, 0}, {2, 1},  {40, 1}, {4, 1},  {5, 1},  {6, 1},  {8, 1},  {40, 0},  //  !"#$%&'
    {10, 1}, {11, 1}, {9, 1},  {13, 1}, {51, 0}, {12, 0}, {52, 0}, {53, 0},  // ()*+,-./
    {11, 0}, {2, 0},  {3, 0},  {4, 0},  {5, 0},  {6, 0},  {7, 0},  {8, 0},   // 01234567
    {9, 0},  {10, 0}, {39, 1}, {39, 0}, {51, 1}, {13, 0}, {52, 1}, {53, 1},  // 89:;<=>?
    {3, 1},  {30, 1}, {48, 1}, {46, 1}, {32, 1}, {18, 1}, {33, 1}, {34, 1},  // @ABCDEFG
    {35, 1}, {23, 1}, {36, 1}, {37, 1}, {38, 1}, {50, 1}, {49, 1}, {24, 1},  // HIJKLMNO
    {25, 1}, {16, 1}, {19, 1}, {31, 1}, {20, 1}, {22, 1}, {47, 1}, {17, 1},  // PQRSTUVW
    {45, 1}, {21, 1}, {44, 1}, {26, 0}, {43, 0}, {27, 0}, {7, 1},  {12, 1},  // XYZ[\]^_
    {41, 0}, {30, 0}, {48, 0}, {46, 0}, {32, 0}, {18, 0}, {33, 0}, {34, 0},  // `abcdefg
    {35, 0}, {23, 0}, {36, 0}, {37, 0}, {38, 0}, {50, 0}, {49, 0}, {24, 0},  // hijklmno
    {25, 0}, {16, 0}, {19, 0}, {31, 0}, {20, 0}, {22, 0}, {47, 0}, {17, 0},  // pqrstuvw
    {45, 0}, {21, 0}, {44, 0}, {26, 1}, {43, 1}, {27, 1}, {41, 1},           // xyz{|}~
}};

// Longer than any sequence of the table or of terminfo that a key sends after ESC.
constexpr size_t kLongestSequence = 32;

constexpr uint8_t kScanEsc = 1, kScanBackspace = 14, kScanTab = 15, kScanEnter = 28,
                  kScanSpace = 57;

// One key that terminals send as an escape sequence. `forms` are the unmodified sequences
// after ESC; `csiFinal` (a letter) or `tildeCode` give the xterm forms that carry a modifier
// parameter: ESC [ 1 ; m X and ESC [ n ; m ~.
struct SequenceKey {
  uint8_t scan;
  uint8_t ch;
  uint16_t state;
  std::array<std::string_view, 4> forms;
  char csiFinal;
  uint8_t tildeCode;
};

constexpr SequenceKey kSequenceKeys[] = {
    {72, 0, kEnhancedKey, {"[A", "OA"}, 'A', 0},                    // Up
    {80, 0, kEnhancedKey, {"[B", "OB"}, 'B', 0},                    // Down
    {77, 0, kEnhancedKey, {"[C", "OC"}, 'C', 0},                    // Right
    {75, 0, kEnhancedKey, {"[D", "OD"}, 'D', 0},                    // Left
    {71, 0, kEnhancedKey, {"[H", "OH", "[1~", "[7~"}, 'H', 1},      // Home
    {79, 0, kEnhancedKey, {"[F", "OF", "[4~", "[8~"}, 'F', 4},      // End
    {82, 0, kEnhancedKey, {"[2~"}, 0, 2},                           // Insert
    {83, 0, kEnhancedKey, {"[3~"}, 0, 3},                           // Delete
    {73, 0, kEnhancedKey, {"[5~"}, 0, 5},                           // Page Up
    {81, 0, kEnhancedKey, {"[6~"}, 0, 6},                           // Page Down
    {76, 0, 0, {"[E", "OE", "[G"}, 'E', 0},                         // keypad 5
    {28, 13, 0, {"OM"}, 0, 0},                                      // keypad Enter: 13
    {15, 9, kShiftPressed, {"[Z"}, 0, 0},                           // Shift+Tab
    {59, 0, 0, {"OP", "[11~", "[[A"}, 'P', 11},                     // F1
    {60, 0, 0, {"OQ", "[12~", "[[B"}, 'Q', 12},                     // F2
    {61, 0, 0, {"OR", "[13~", "[[C"}, 'R', 13},                     // F3
    {62, 0, 0, {"OS", "[14~", "[[D"}, 'S', 14},                     // F4
    {63, 0, 0, {"[15~", "[[E"}, 0, 15},                             // F5
    {64, 0, 0, {"[17~"}, 0, 17},                                    // F6
    {65, 0, 0, {"[18~"}, 0, 18},                                    // F7
    {66, 0, 0, {"[19~"}, 0, 19},                                    // F8
    {67, 0, 0, {"[20~"}, 0, 20},                                    // F9
    {68, 0, 0, {"[21~"}, 0, 21},                                    // F10
    {87, 0, 0, {"[23~"}, 0, 23},                                    // F11
    {88, 0, 0, {"[24~"}, 0, 24},                                    // F12
};

// rxvt's modified cursor keys: Shift with ESC [ and a small letter, Ctrl with ESC O and
// one; and its modified "ESC [ n ~" keys, whose final says the modifiers instead of ~.
struct RxvtArrow {
  uint8_t scan;
  char letter;
};
constexpr RxvtArrow kRxvtArrows[] = {{72, 'a'}, {80, 'b'}, {77, 'c'}, {75, 'd'}};
struct RxvtFinal {
  char final;
  uint16_t state;
};
constexpr RxvtFinal kRxvtFinals[] = {
    {'^', kLeftCtrlPressed}, {'$', kShiftPressed}, {'@', kLeftCtrlPressed | kShiftPressed}};

// xterm's modifier parameter m: m - 1 has bit 0 Shift, bit 1 Alt, bit 2 Ctrl.
uint16_t modifierState(int m) {
  int bits = m - 1;
  uint16_t state = 0;
  if (bits & 1) state |= kShiftPressed;
  if (bits & 2) state |= kLeftAltPressed;
  if (bits & 4) state |= kLeftCtrlPressed;
  return state;
}

class SequenceTree {
 public:
  SequenceTree() {
    m_nodes.emplace_back();
    for (const SequenceKey& k : kSequenceKeys) {
      InputEvent e{InputEvent::Kind::Key, true, k.ch, k.scan, k.state};
      for (std::string_view form : k.forms) {
        if (form.empty()) continue;
        add(form, e);
        if (form.size() > 2 && form[0] == '[' && form.back() == '~')
          for (const RxvtFinal& f : kRxvtFinals) {
            InputEvent modified = e;
            modified.state = uint16_t(k.state | f.state);
            add(std::string(form.substr(0, form.size() - 1)) + f.final, modified);
          }
      }
      for (int m = 2; m <= 8; ++m) {
        InputEvent modified = e;
        modified.state = uint16_t(k.state | modifierState(m));
        if (k.csiFinal) add("[1;" + std::to_string(m) + k.csiFinal, modified);
        if (k.tildeCode) add("[" + std::to_string(k.tildeCode) + ";" + std::to_string(m) + "~", modified);
      }
    }
    for (const RxvtArrow& a : kRxvtArrows) {
      add(std::string("[") + a.letter, InputEvent{InputEvent::Kind::Key, true, 0, a.scan, uint16_t(kEnhancedKey | kShiftPressed)});
      add(std::string("O") + a.letter, InputEvent{InputEvent::Kind::Key, true, 0, a.scan, uint16_t(kEnhancedKey | kLeftCtrlPressed)});
    }
    InputEvent focus{InputEvent::Kind::Other, true, 0, 0, 0};
    add("[I", focus);
    add("[O", focus);
  }

  // The child of `node` for byte b, or -1.
  int child(int node, uint8_t b) const {
    for (const auto& [byte, next] : m_nodes[size_t(node)].children)
      if (byte == b) return next;
    return -1;
  }
  bool isLeaf(int node) const { return m_nodes[size_t(node)].leaf; }
  const InputEvent& event(int node) const { return m_nodes[size_t(node)].event; }

  // A sequence that is new and neither the prefix nor the extension of a known one.
  bool addIfFree(std::string_view sequence, const InputEvent& e) {
    int node = 0;
    for (char c : sequence) {
      int next = child(node, uint8_t(c));
      if (next < 0) {  // off the known paths, none of which ended on the way
        add(sequence, e);
        return true;
      }
      node = next;
      if (isLeaf(node)) return false;  // known, or a known sequence is its prefix
    }
    return false;  // empty, or the prefix of known sequences
  }

 private:
  struct Node {
    std::vector<std::pair<uint8_t, int>> children;
    bool leaf = false;
    InputEvent event;
  };

  void add(std::string_view sequence, const InputEvent& e) {
    int node = 0;
    for (char c : sequence) {
      int next = child(node, uint8_t(c));
      if (next < 0) {
        next = int(m_nodes.size());
        m_nodes[size_t(node)].children.emplace_back(uint8_t(c), next);
        m_nodes.emplace_back();
      }
      node = next;
    }
    m_nodes[size_t(node)].leaf = true;
    m_nodes[size_t(node)].event = e;
  }

  std::vector<Node> m_nodes;
};

SequenceTree& sequenceTree() {
  static SequenceTree tree;
  return tree;
}

}  // namespace

InputEvent keyOfByte(uint8_t b) {
  InputEvent e;
  e.ch = b;
  switch (b) {
    case 0x00: e.ch = ' '; e.scan = kScanSpace; e.state = kLeftCtrlPressed; return e;
    case 0x08: case 0x7F: e.ch = 8; e.scan = kScanBackspace; return e;
    case 0x09: e.scan = kScanTab; return e;
    case 0x0A: e.scan = kScanEnter; e.state = kLeftCtrlPressed; return e;
    case 0x0D: e.scan = kScanEnter; return e;
    case 0x1B: e.scan = kScanEsc; return e;
    case 0x1C: e.scan = 43; e.state = kLeftCtrlPressed; return e;
    case 0x1D: e.scan = 27; e.state = kLeftCtrlPressed; return e;
    case 0x1E: e.scan = 7; e.state = kLeftCtrlPressed | kShiftPressed; return e;
    case 0x1F: e.scan = 12; e.state = kLeftCtrlPressed; return e;
    default: break;
  }
  if (b < 0x20) {  // Ctrl+letter
    e.scan = kPrintable[size_t('a' + b - 1 - 0x20)].scan;
    e.state = kLeftCtrlPressed;
  } else if (b < 0x7F) {
    const PlainKey& k = kPrintable[size_t(b - 0x20)];
    e.scan = k.scan;
    e.state = k.shift ? kShiftPressed : 0;
  }
  return e;
}

bool addKeySequence(std::string_view afterEsc, const InputEvent& e) { return sequenceTree().addIfFree(afterEsc, e); }

void KeyDecoder::feed(const void* data, size_t n, uint64_t nowMs) {
  if (!n) return;
  if (m_pos > 4096 && m_pos * 2 > m_buffer.size()) {
    m_buffer.erase(0, m_pos);
    m_pos = 0;
  }
  m_buffer.append(static_cast<const char*>(data), n);
  m_lastByteMs = nowMs;
}

void KeyDecoder::clear() {
  m_buffer.clear();
  m_pos = 0;
}

std::string KeyDecoder::takeRaw() {
  std::string rest = m_buffer.substr(m_pos);
  clear();
  return rest;
}

int KeyDecoder::waitingMs(uint64_t nowMs) const {
  if (empty()) return -1;
  InputEvent e;
  size_t length = 0;
  if (decodeAt(e, length, false) != Step::Incomplete) return 0;
  uint64_t due = m_lastByteMs + kEscapeTimeoutMs;
  return nowMs >= due ? 0 : int(due - nowMs);
}

bool KeyDecoder::next(InputEvent& out, uint64_t nowMs, bool endOfInput) {
  bool giveUp = endOfInput || nowMs >= m_lastByteMs + kEscapeTimeoutMs;
  while (!empty()) {
    size_t length = 0;
    Step step = decodeAt(out, length, giveUp);
    if (step == Step::Incomplete) return false;
    m_pos += length;
    if (step == Step::Event) return true;
  }
  return false;
}

KeyDecoder::Step KeyDecoder::decodeAt(InputEvent& out, size_t& length, bool giveUp) const {
  uint8_t b = uint8_t(m_buffer[m_pos]);
  if (b == 0x1B) return decodeEscape(out, length, giveUp);
  if (b >= 0x80 && m_options.utf8) return decodeUtf8(out, length, giveUp);
  out = keyOfByte(b);
  length = 1;
  return Step::Event;
}

KeyDecoder::Step KeyDecoder::decodeEscape(InputEvent& out, size_t& length, bool giveUp) const {
  const SequenceTree& tree = sequenceTree();
  const size_t start = m_pos, end = m_buffer.size();
  auto escapeKey = [&] {
    out = keyOfByte(0x1B);
    length = 1;
    return Step::Event;
  };
  if (start + 1 >= end) return giveUp ? escapeKey() : Step::Incomplete;

  int node = 0;
  size_t i = start + 1;
  for (; i < end; ++i) {
    int next = tree.child(node, uint8_t(m_buffer[i]));
    if (next < 0) break;
    node = next;
    if (tree.isLeaf(node)) {
      out = tree.event(node);
      length = i + 1 - start;
      return Step::Event;
    }
  }
  if (i == end) {  // a known prefix so far
    if (!giveUp) return Step::Incomplete;
    // ESC [ or ESC O and then nothing: Alt+[ or Alt+Shift+O, typed, not a sequence begun
    if (i == start + 2 && m_options.altPrefix) return altKey(out, length, keyOfByte(uint8_t(m_buffer[start + 1])), 1);
    return escapeKey();
  }

  uint8_t second = uint8_t(m_buffer[start + 1]);
  if (second == '[' && i > start + 1) {
    // An unknown control sequence: parameters and intermediates up to a final byte, all
    // dropped.
    size_t j = start + 2;
    while (j < end && uint8_t(m_buffer[j]) >= 0x20 && uint8_t(m_buffer[j]) <= 0x3F) ++j;
    if (j == end) return giveUp ? escapeKey() : Step::Incomplete;
    uint8_t final = uint8_t(m_buffer[j]);
    length = (final >= 0x40 && final <= 0x7E ? j + 1 : j) - start;
    return Step::Dropped;
  }
  if (second == 'O' && i > start + 1) {  // an unknown SS3 key
    length = 3;
    return Step::Dropped;
  }
  if (!m_options.altPrefix) return escapeKey();
  if (second == 0x1B) {
    // ESC and a sequence is that key with Alt (rxvt, xterm's metaSendsEscape); ESC ESC
    // alone is Alt+Esc.
    if (start + 2 >= end && !giveUp) return Step::Incomplete;
    // a third ESC: Alt+Esc now, so that a run of ESC bytes decodes without nesting
    if (start + 2 < end && m_buffer[start + 2] == '\x1b') return altKey(out, length, keyOfByte(0x1B), 1);
    KeyDecoder probe(m_options);
    probe.m_buffer = m_buffer.substr(start + 1, kLongestSequence);
    InputEvent key;
    size_t keyLength = 0;
    Step step = probe.decodeEscape(key, keyLength, giveUp);
    if (step == Step::Incomplete) return Step::Incomplete;
    if (step == Step::Event && keyLength > 1 && !(key.state & kLeftAltPressed) && key.kind == InputEvent::Kind::Key)
      return altKey(out, length, key, keyLength);
    return altKey(out, length, keyOfByte(0x1B), 1);
  }
  // Alt with a key: the terminal's meta prefix.
  InputEvent key;
  size_t keyLength = 1;
  if (second >= 0x80 && m_options.utf8) {
    KeyDecoder probe(m_options);
    probe.m_buffer = m_buffer.substr(start + 1, 4);
    Step step = probe.decodeUtf8(key, keyLength, giveUp);
    if (step == Step::Incomplete) return Step::Incomplete;
  } else {
    key = keyOfByte(second);
  }
  return altKey(out, length, key, keyLength);
}

KeyDecoder::Step KeyDecoder::altKey(InputEvent& out, size_t& length, InputEvent key, size_t keyLength) {
  key.state = uint16_t(key.state | kLeftAltPressed);
  out = key;
  length = 1 + keyLength;
  return Step::Event;
}

KeyDecoder::Step KeyDecoder::decodeUtf8(InputEvent& out, size_t& length, bool giveUp) const {
  const size_t start = m_pos, end = m_buffer.size();
  uint8_t lead = uint8_t(m_buffer[start]);
  size_t need = lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2
              : lead >= 0xF0 && lead <= 0xF4 ? 3 : 0;
  char32_t c = need == 1 ? lead & 0x1F : need == 2 ? lead & 0x0F : lead & 0x07;
  size_t i = 1;
  for (; need && i <= need; ++i) {
    if (start + i >= end) {
      if (!giveUp) return Step::Incomplete;
      need = 0;
      break;
    }
    uint8_t b = uint8_t(m_buffer[start + i]);
    if ((b & 0xC0) != 0x80) {
      need = 0;
      break;
    }
    c = (c << 6) | (b & 0x3F);
  }
  out = InputEvent{};
  if (!need) {  // not UTF-8: the byte stands for itself
    out.ch = lead;
    length = 1;
    return Step::Event;
  }
  int oem = cp437::fromUnicode(c);
  out.ch = oem > 0 ? uint8_t(oem) : uint8_t('?');
  length = need + 1;
  return Step::Event;
}

}  // namespace tavrin
