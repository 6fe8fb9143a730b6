// Key events as the console hands them to programs (character, virtual scan code,
// control-key state) and the decoder from a terminal's byte sequences to those events.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

// Control-key state bits of a key record.
inline constexpr uint16_t kRightAltPressed = 0x0001;
inline constexpr uint16_t kLeftAltPressed = 0x0002;
inline constexpr uint16_t kRightCtrlPressed = 0x0004;
inline constexpr uint16_t kLeftCtrlPressed = 0x0008;
inline constexpr uint16_t kShiftPressed = 0x0010;
inline constexpr uint16_t kEnhancedKey = 0x0100;

// Scan codes the key function reports as bare modifier presses.
inline constexpr uint8_t kScanCtrl = 29, kScanLeftShift = 42, kScanRightShift = 54,
                         kScanAlt = 56, kScanCapsLock = 58, kScanNumLock = 69,
                         kScanScrollLock = 70;

// One input record. Terminals report key presses only: `keyDown` is always set by the
// decoder, and Other stands for the reports that are no keys (focus changes).
struct InputEvent {
  enum class Kind : uint8_t { Key, Other };
  Kind kind = Kind::Key;
  bool keyDown = true;
  uint8_t ch = 0;    // the OEM character, 0 for none
  uint8_t scan = 0;  // the virtual scan code
  uint16_t state = 0;

  bool operator==(const InputEvent&) const = default;
};

// The key function's code of one key-down record: the character when there is one,
// otherwise the negative scan code; enhanced keys always give the negative scan code, and
// bare modifiers give 0 unless `reportModifiers` asks for them.
int16_t keyCode(const InputEvent& e, bool reportModifiers);

struct KeyDecoderOptions {
  bool altPrefix = true;  // ESC followed by a key is that key with Alt (terminals)
  bool utf8 = true;       // multi-byte UTF-8 characters become their code page 437 byte
};

// Decodes a byte stream into input events. Bytes may arrive split or merged in any way;
// an incomplete sequence waits for its rest until kEscapeTimeoutMs after its last byte (or
// the end of input), then its bytes count as keys of their own (a lone ESC is the Esc key).
class KeyDecoder {
 public:
  static constexpr int kEscapeTimeoutMs = 40;

  explicit KeyDecoder(KeyDecoderOptions options = {}) : m_options(options) {}

  void feed(const void* data, size_t n, uint64_t nowMs);
  // The next complete event; false when none is ready yet.
  bool next(InputEvent& out, uint64_t nowMs, bool endOfInput = false);
  // Milliseconds until a waiting incomplete sequence gives up; -1 when none waits.
  int waitingMs(uint64_t nowMs) const;
  bool empty() const { return m_pos >= m_buffer.size(); }
  // The bytes not decoded yet, removed from the decoder.
  std::string takeRaw();
  void clear();

 private:
  enum class Step : uint8_t { Event, Dropped, Incomplete };
  Step decodeAt(InputEvent& out, size_t& length, bool giveUp) const;
  Step decodeEscape(InputEvent& out, size_t& length, bool giveUp) const;
  Step decodeUtf8(InputEvent& out, size_t& length, bool giveUp) const;
  // `key` (keyLength bytes after an ESC) with Alt.
  static Step altKey(InputEvent& out, size_t& length, InputEvent key, size_t keyLength);

  KeyDecoderOptions m_options;
  std::string m_buffer;
  size_t m_pos = 0;
  uint64_t m_lastByteMs = 0;
};

// The key record of one plain byte (a character or a control code), as the console gives it.
InputEvent keyOfByte(uint8_t b);

// Teaches every decoder one more escape sequence (the bytes after ESC), such as one the
// terminal's terminfo entry names. The built-in sequences win: one already known, or one
// that is a prefix of a known one or has one as its prefix, is not added; false then.
bool addKeySequence(std::string_view afterEsc, const InputEvent& e);

}  // namespace tavrin
