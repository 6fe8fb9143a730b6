// otForm (30): the form's model. Left, Top, Width and Height are the outer window; the
// client area is what remains inside the frame and the caption bar, from fixed metrics
// per border style, so the numbers a program reads are the framework's whatever a window
// manager draws.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "ui/visual_object.h"

namespace tavrin {

// Fields of the form event record (72 bytes: 18 signed 32-bit fields), by byte offset / 4.
namespace form_event {
inline constexpr int Click = 0, Resize = 2, Close = 3, MouseDown = 6, Hook = 7, KeyPress = 8, Show = 9,
                     KeyDown = 10, KeyUp = 11, Paint = 12, MouseUp = 13, MouseMove = 14;
}

// Border styles and the frame metrics of each.
inline constexpr int32_t kBsNone = 0, kBsSingle = 1, kBsSizeable = 2, kBsDialog = 3, kBsToolWindow = 4,
                         kBsSizeToolWin = 5;
inline constexpr int32_t kCaptionHeight = 19, kToolCaptionHeight = 15, kSizeFrame = 4, kFixedFrame = 3;
// A form made by a declaration.
inline constexpr int32_t kFormWidth = 320, kFormHeight = 240;
inline constexpr int32_t kScreenWidthModel = 1024, kScreenHeightModel = 768;

class FormObject final : public VisualObject {
public:
  explicit FormObject(int32_t instance);

  uint32_t handlerOf(EventKind kind) const override;
  void created(State& s) override;
  void applyGeometry() override;

  // The frame: its width on each side, and the caption bar's height.
  int32_t frame() const;
  int32_t captionHeight() const;
  int32_t clientWidth() const { return width - 2 * frame(); }
  int32_t clientHeight() const { return height - captionHeight() - 2 * frame(); }
  // The outer size for a client size, as the framework computes it.
  int32_t outerWidth(int32_t client) const { return client + 2 * frame(); }
  int32_t outerHeight(int32_t client) const { return client + captionHeight() + 2 * frame(); }

  // Showing and closing. show raises OnShow when the form was hidden; close runs the close
  // logic (a modal form gets modal result 2 and closes when its loop ends).
  void show(State& s);
  void hide();
  void close(State& s);
  int32_t showModal(State& s);
  void setModalResult(State& s, int32_t result);
  // The size changed (by the program or the user): the resize logic.
  void resized(State& s);
  // The window's own handling of a message (after the hook has seen it).
  int32_t defaultMessage(State& s, uint32_t message, int32_t wParam, int32_t lParam);
  int32_t windowMessage(State& s, uint32_t message, int32_t wParam, int32_t lParam) override;

  std::array<int32_t, 18> events{};  // the form event record
  int32_t borderStyle = kBsSizeable;
  int32_t borderIcons = 7;  // system menu, minimise, maximise
  int32_t windowState = 0;
  int32_t formStyle = 0;
  int32_t tileMode = 0;
  int32_t modalResult = 0;
  int32_t field33 = 0;     // id 33: a number kept for the program
  int32_t autoScroll = 1;
  int32_t keyPreview = 0;
  int32_t iconHandle = 0;  // 0: the application's icon
  uint32_t hintHandler = 0;
  bool captionBar = true;
  int modalDepth = 0;  // nested ShowModal calls running for this form
  VisualObject* owner = nullptr;
  ObjectRef popupMenu;
};

}  // namespace tavrin
