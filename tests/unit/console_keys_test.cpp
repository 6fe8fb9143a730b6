// The key decoder on recorded terminal sequences: known keys from several terminals, reads
// that split or merge sequences, a lone Esc after the timeout, unknown sequences, and the
// key function's codes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lib/keys.h"

namespace tavrin {
namespace {

constexpr uint64_t kLater = 1000;  // well past the escape timeout

std::vector<InputEvent> decodeAll(KeyDecoder& d, uint64_t now, bool end = false) {
  std::vector<InputEvent> out;
  InputEvent e;
  while (d.next(e, now, end)) out.push_back(e);
  return out;
}

std::vector<InputEvent> decode(std::string_view bytes, KeyDecoderOptions options = {}) {
  KeyDecoder d(options);
  d.feed(bytes.data(), bytes.size(), 0);
  return decodeAll(d, kLater, true);
}

std::vector<int> codes(std::string_view bytes, bool reportModifiers = false) {
  std::vector<int> out;
  for (const InputEvent& e : decode(bytes)) out.push_back(keyCode(e, reportModifiers));
  return out;
}

// The text function 7 makes of a key code.
std::string keyText(int k) {
  if (k > 0) return std::string(1, char(k));
  if (k == 0) return "";
  return std::string("\x1b") + char(-k);
}

TEST(KeyDecoder, FunctionKeysOfEveryTerminalGiveTheirScanCodes) {
  struct Case {
    const char* bytes;
    int code;
  };
  const Case cases[] = {
      {"\x1bOP", -59},   {"\x1b[11~", -59}, {"\x1b[[A", -59},  // F1: xterm, VT220, Linux
      {"\x1bOQ", -60},   {"\x1b[12~", -60}, {"\x1b[[B", -60},
      {"\x1bOR", -61},   {"\x1bOS", -62},   {"\x1b[[E", -63},
      {"\x1b[15~", -63}, {"\x1b[17~", -64}, {"\x1b[18~", -65},
      {"\x1b[19~", -66}, {"\x1b[20~", -67}, {"\x1b[21~", -68},
      {"\x1b[23~", -87}, {"\x1b[24~", -88},
      {"\x1b[1;2P", -59},  // Shift+F1 keeps the scan code
      {"\x1b[15;5~", -63}, // Ctrl+F5
  };
  for (const Case& c : cases) EXPECT_EQ(codes(c.bytes), std::vector<int>{c.code}) << c.bytes + 1;
}

TEST(KeyDecoder, F1ThroughTheKeyFunctionIsEscAndSemicolon) {
  auto keys = codes("\x1bOP");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keyText(keys[0]), std::string("\x1b") + char(59));
}

TEST(KeyDecoder, CursorKeysInBothModesAreEnhancedKeys) {
  struct Case {
    const char* bytes;
    uint8_t scan;
  };
  const Case cases[] = {
      {"\x1b[A", 72}, {"\x1bOA", 72}, {"\x1b[B", 80}, {"\x1bOB", 80}, {"\x1b[C", 77},
      {"\x1bOC", 77}, {"\x1b[D", 75}, {"\x1bOD", 75}, {"\x1b[H", 71}, {"\x1bOH", 71},
      {"\x1b[1~", 71}, {"\x1b[7~", 71}, {"\x1b[F", 79}, {"\x1bOF", 79}, {"\x1b[4~", 79},
      {"\x1b[8~", 79}, {"\x1b[2~", 82}, {"\x1b[3~", 83}, {"\x1b[5~", 73}, {"\x1b[6~", 81},
  };
  for (const Case& c : cases) {
    auto events = decode(c.bytes);
    ASSERT_EQ(events.size(), 1u) << c.bytes + 1;
    EXPECT_EQ(events[0].scan, c.scan) << c.bytes + 1;
    EXPECT_EQ(events[0].ch, 0);
    EXPECT_EQ(events[0].state, kEnhancedKey) << c.bytes + 1;
    EXPECT_EQ(keyCode(events[0], false), -c.scan);
  }
}

TEST(KeyDecoder, ModifierParametersBecomeControlKeyStates) {
  auto up = decode("\x1b[1;5A");  // Ctrl+Up
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].state, kEnhancedKey | kLeftCtrlPressed);
  EXPECT_EQ(keyCode(up[0], false), -72);
  auto del = decode("\x1b[3;4~");  // Shift+Alt+Delete
  ASSERT_EQ(del.size(), 1u);
  EXPECT_EQ(del[0].state, kEnhancedKey | kShiftPressed | kLeftAltPressed);
  auto tab = decode("\x1b[Z");  // Shift+Tab: a character with a modifier
  ASSERT_EQ(tab.size(), 1u);
  EXPECT_EQ(keyCode(tab[0], false), 9);
  auto enter = decode("\x1bOM");  // keypad Enter gives CR, as Enter does
  ASSERT_EQ(enter.size(), 1u);
  EXPECT_EQ(keyCode(enter[0], false), 13);
  EXPECT_EQ(enter[0].scan, 28);
}

TEST(KeyDecoder, PlainBytesAndControlCodes) {
  EXPECT_EQ(codes("aZ1 ~"), (std::vector<int>{'a', 'Z', '1', ' ', '~'}));
  EXPECT_EQ(codes("\r\t\x7f\x08"), (std::vector<int>{13, 9, 8, 8}));
  auto ctrlA = decode("\x01");
  ASSERT_EQ(ctrlA.size(), 1u);
  EXPECT_EQ(ctrlA[0].ch, 1);
  EXPECT_EQ(ctrlA[0].scan, 30);
  EXPECT_EQ(ctrlA[0].state, kLeftCtrlPressed);
  auto upper = decode("A");
  EXPECT_EQ(upper[0].scan, 30);
  EXPECT_EQ(upper[0].state, kShiftPressed);
}

TEST(KeyDecoder, SequencesSplitAcrossReadsWaitForTheirRest) {
  KeyDecoder d;
  d.feed("\x1b", 1, 0);
  InputEvent e;
  EXPECT_FALSE(d.next(e, 5));
  EXPECT_GT(d.waitingMs(5), 0);
  d.feed("[1", 2, 10);
  EXPECT_FALSE(d.next(e, 15));
  d.feed("5;2", 3, 20);
  EXPECT_FALSE(d.next(e, 25));
  d.feed("~x", 2, 30);
  auto events = decodeAll(d, 31);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].scan, 63);
  EXPECT_EQ(events[0].state, kShiftPressed);
  EXPECT_EQ(events[1].ch, 'x');
  EXPECT_EQ(d.waitingMs(31), -1);
}

TEST(KeyDecoder, MergedReadsGiveEveryKeyInOrder) {
  EXPECT_EQ(codes("a\x1bOPb\x1b[A\x1b[6~\r"),
            (std::vector<int>{'a', -59, 'b', -72, -81, 13}));
}

TEST(KeyDecoder, LoneEscIsTheEscKeyAfterTheTimeout) {
  KeyDecoder d;
  d.feed("\x1b", 1, 100);
  InputEvent e;
  EXPECT_FALSE(d.next(e, 100 + KeyDecoder::kEscapeTimeoutMs - 1));
  ASSERT_TRUE(d.next(e, 100 + KeyDecoder::kEscapeTimeoutMs));
  EXPECT_EQ(keyCode(e, false), 27);
  // A longer incomplete sequence that times out gives its bytes as keys.
  d.feed("\x1b[1;", 4, 200);
  auto events = decodeAll(d, 300);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].ch, 27);
  EXPECT_EQ(events[1].ch, '[');
  EXPECT_EQ(events[3].ch, ';');
}

TEST(KeyDecoder, EscAndASequenceStarterAloneIsThatKeyWithAlt) {
  // Alt+[ sends ESC [, Alt+Shift+O ESC O: when nothing follows within the timeout they are
  // one key with Alt, not the start of a sequence.
  for (std::string_view form : {"\x1b[", "\x1bO"}) {
    KeyDecoder d;
    d.feed(form.data(), form.size(), 100);
    InputEvent e;
    EXPECT_FALSE(d.next(e, 100 + KeyDecoder::kEscapeTimeoutMs - 1)) << "still waiting for the rest";
    auto events = decodeAll(d, 100 + KeyDecoder::kEscapeTimeoutMs);
    ASSERT_EQ(events.size(), 1u) << form;
    EXPECT_EQ(events[0].ch, uint8_t(form[1]));
    EXPECT_TRUE(events[0].state & kLeftAltPressed);
    EXPECT_EQ(keyCode(events[0], false), form[1]);
  }
  auto shiftO = decode("\x1bO");
  EXPECT_EQ(shiftO[0].state, kLeftAltPressed | kShiftPressed);
  EXPECT_EQ(shiftO[0].scan, 24);
  // The end of input gives up at once, and a pipe keeps two keys.
  EXPECT_EQ(decode("\x1b[").size(), 1u);
  EXPECT_EQ(decode("\x1b[", KeyDecoderOptions{false, false}).size(), 2u);
  // Alt+Esc: ESC ESC alone is one key; ESC and a sequence is that key with Alt.
  auto altEsc = decode("\x1b\x1b");
  ASSERT_EQ(altEsc.size(), 1u);
  EXPECT_EQ(altEsc[0].scan, 1);
  EXPECT_EQ(altEsc[0].state, kLeftAltPressed);
  EXPECT_EQ(keyCode(altEsc[0], false), 27);
  auto altUp = decode("\x1b\x1b[A");
  ASSERT_EQ(altUp.size(), 1u);
  EXPECT_EQ(altUp[0].scan, 72);
  EXPECT_EQ(altUp[0].state, kEnhancedKey | kLeftAltPressed);
  EXPECT_EQ(codes("\x1b\x1bx"), (std::vector<int>{27, 'x'}));
  KeyDecoder d;
  d.feed("\x1b\x1b", 2, 0);
  InputEvent e;
  EXPECT_FALSE(d.next(e, 1)) << "ESC ESC may begin Alt with a sequence";
  // A long run of ESC bytes (a paste, a stuck key): Alt+Esc pairs, decoded flat.
  const std::string run(200001, '\x1b');
  auto many = decode(run);
  ASSERT_EQ(many.size(), 100001u);
  EXPECT_EQ(many[0].state, kLeftAltPressed);
  EXPECT_EQ(many.back().state, 0) << "the last lone ESC is the Esc key";
}

TEST(KeyDecoder, RxvtModifiedKeys) {
  struct Case {
    const char* bytes;
    uint8_t scan;
    uint16_t state;
  };
  const uint16_t ctrl = kLeftCtrlPressed, shift = kShiftPressed, enh = kEnhancedKey;
  const Case cases[] = {
      {"\x1b[a", 72, uint16_t(enh | shift)}, {"\x1b[b", 80, uint16_t(enh | shift)},
      {"\x1b[c", 77, uint16_t(enh | shift)}, {"\x1b[d", 75, uint16_t(enh | shift)},
      {"\x1bOa", 72, uint16_t(enh | ctrl)},  {"\x1bOb", 80, uint16_t(enh | ctrl)},
      {"\x1bOc", 77, uint16_t(enh | ctrl)},  {"\x1bOd", 75, uint16_t(enh | ctrl)},
      {"\x1b[7^", 71, uint16_t(enh | ctrl)}, {"\x1b[5^", 73, uint16_t(enh | ctrl)},
      {"\x1b[11^", 59, ctrl},                {"\x1b[7$", 71, uint16_t(enh | shift)},
      {"\x1b[3$", 83, uint16_t(enh | shift)}, {"\x1b[8^", 79, uint16_t(enh | ctrl)},
      {"\x1b[6$", 81, uint16_t(enh | shift)}, {"\x1b[2^", 82, uint16_t(enh | ctrl)},
      {"\x1b[24^", 88, ctrl},                {"\x1b[15$", 63, shift},
      {"\x1b[3@", 83, uint16_t(enh | ctrl | shift)}, {"\x1b[12@", 60, uint16_t(ctrl | shift)},
  };
  for (const Case& c : cases) {
    auto events = decode(c.bytes);
    ASSERT_EQ(events.size(), 1u) << c.bytes + 1;
    EXPECT_EQ(events[0].scan, c.scan) << c.bytes + 1;
    EXPECT_EQ(events[0].state, c.state) << c.bytes + 1;
    EXPECT_EQ(keyCode(events[0], false), -int(c.scan)) << c.bytes + 1;
  }
}

TEST(KeyDecoder, EscFollowedByAKeyIsAltOnATerminalAndTwoKeysOnAPipe) {
  auto alt = decode("\x1bx");
  ASSERT_EQ(alt.size(), 1u);
  EXPECT_EQ(alt[0].ch, 'x');
  EXPECT_EQ(alt[0].state, kLeftAltPressed);
  KeyDecoderOptions pipe{false, false};
  auto plain = decode("\x1bx", pipe);
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain[0].ch, 27);
  EXPECT_EQ(plain[1].ch, 'x');
  // Sequences are still known on a pipe.
  EXPECT_EQ(decode("\x1bOP", pipe).size(), 1u);
}

TEST(KeyDecoder, UnknownSequencesAreDroppedWhole) {
  EXPECT_EQ(codes("\x1b[99;9~a\x1b[?1;2cb\x1bOzc"), (std::vector<int>{'a', 'b', 'c'}));
}

TEST(KeyDecoder, FocusReportsAreNoKeys) {
  auto events = decode("\x1b[I");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].kind, InputEvent::Kind::Other);
}

TEST(KeyDecoder, Utf8CharactersBecomeTheirOemBytes) {
  EXPECT_EQ(codes("\xc3\xa9\xc3\x87"), (std::vector<int>{0x82, 0x80}));  // é Ç
  EXPECT_EQ(codes("\xe2\x82\xac"), (std::vector<int>{'?'}));             // € is not in 437
  KeyDecoder d;
  d.feed("\xc3", 1, 0);
  InputEvent e;
  EXPECT_FALSE(d.next(e, 1));
  d.feed("\xbc", 1, 2);  // ü
  ASSERT_TRUE(d.next(e, 3));
  EXPECT_EQ(e.ch, 0x81);
  KeyDecoderOptions pipe{false, false};
  auto raw = decode("\xc3\xa9", pipe);
  ASSERT_EQ(raw.size(), 2u);
  EXPECT_EQ(raw[0].ch, 0xc3);
}

TEST(KeyDecoder, TakeRawLeavesTheUndecodedBytes) {
  KeyDecoder d({false, false});
  d.feed("ab\ncd\n", 6, 0);
  InputEvent e;
  ASSERT_TRUE(d.next(e, 0));
  EXPECT_EQ(d.takeRaw(), "b\ncd\n");
  EXPECT_TRUE(d.empty());
}

// Any byte stream, cut anywhere, decodes to the same events as in one read and leaves
// nothing behind at the end of input.
TEST(KeyDecoder, RandomStreamsDecodeTheSameHoweverTheyAreCut) {
  std::mt19937 random(6);
  const std::string pieces[] = {"\x1b", "[", "O", "1", ";", "5", "~", "A", "P", "[[", "a",
                                "\xc3", "\xa9", "\r", "\x7f", "?", "\x80", "Z", "24"};
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    int n = int(random() % 40);
    for (int i = 0; i < n; ++i) bytes += pieces[random() % std::size(pieces)];
    for (bool terminal : {true, false}) {
      KeyDecoderOptions options{terminal, terminal};
      std::vector<InputEvent> whole = decode(bytes, options);
      KeyDecoder d(options);
      std::vector<InputEvent> cut;
      for (size_t at = 0; at < bytes.size();) {
        size_t len = 1 + random() % 4;
        len = std::min(len, bytes.size() - at);
        d.feed(bytes.data() + at, len, 0);  // all within the escape timeout
        at += len;
        for (const InputEvent& e : decodeAll(d, 1)) cut.push_back(e);
      }
      for (const InputEvent& e : decodeAll(d, kLater, true)) cut.push_back(e);
      EXPECT_TRUE(d.empty());
      EXPECT_EQ(cut, whole) << "round " << round;
    }
  }
}

TEST(KeyCode, StatesAndTheModifierReportFlag) {
  InputEvent shift{InputEvent::Kind::Key, true, 0, kScanLeftShift, kShiftPressed};
  EXPECT_EQ(keyCode(shift, false), 0);
  EXPECT_EQ(keyCode(shift, true), -42);
  for (uint8_t scan : {kScanCtrl, kScanRightShift, kScanAlt, kScanCapsLock, kScanNumLock,
                       kScanScrollLock})
    EXPECT_EQ(keyCode({InputEvent::Kind::Key, true, 0, scan, kLeftCtrlPressed}, false), 0);
  InputEvent numpadSlash{InputEvent::Kind::Key, true, '/', 53, kEnhancedKey};
  EXPECT_EQ(keyCode(numpadSlash, false), -53);  // exactly enhanced: the scan code wins
  InputEvent ctrlC{InputEvent::Kind::Key, true, 3, 46, kLeftCtrlPressed};
  EXPECT_EQ(keyCode(ctrlC, false), 3);
  InputEvent ctrlUp{InputEvent::Kind::Key, true, 0, 72, kEnhancedKey | kLeftCtrlPressed};
  EXPECT_EQ(keyCode(ctrlUp, false), -72);
  InputEvent plainF1{InputEvent::Kind::Key, true, 0, 59, 0};
  EXPECT_EQ(keyCode(plainF1, false), -59);
}

TEST(KeyDecoder, SequencesAddedFromTerminfoDecodeButNeverShadowBuiltIns) {
  InputEvent f1{InputEvent::Kind::Key, true, 0, 59, 0};
  EXPECT_EQ(decode("\x1b[77Y").size(), 0u) << "unknown before";
  EXPECT_TRUE(addKeySequence("[77Y", f1));
  EXPECT_EQ(codes("\x1b[77Yx"), (std::vector<int>{-59, 'x'}));
  EXPECT_FALSE(addKeySequence("[77Y", f1)) << "known now";
  EXPECT_FALSE(addKeySequence("[A", f1)) << "a built-in key";
  EXPECT_FALSE(addKeySequence("[1", f1)) << "the prefix of [1~ and the rest";
  EXPECT_FALSE(addKeySequence("[A5", f1)) << "[A would end it first";
  EXPECT_FALSE(addKeySequence("", f1));
  EXPECT_EQ(codes("\x1b[A\x1b[1~"), (std::vector<int>{-72, -71}));
}

}  // namespace
}  // namespace tavrin
