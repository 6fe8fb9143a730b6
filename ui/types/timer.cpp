// The otTimer binding: a timer of the windowed layer. Ticks arrive only while the program
// pumps; a tick that comes while the timer's own handler runs (it pumped) is dropped, so
// ticks never pile up or nest.
#include "interp/state.h"
#include "ui/events.h"
#include "ui/object_model.h"

namespace tavrin {

class TimerObject final : public VisualObject {
public:
  explicit TimerObject(int32_t instance) : VisualObject(otTimer, instance) {}

  bool hasWindow() const override { return false; }
  uint32_t handlerOf(EventKind kind) const override { return kind == EventKind::Timer ? onTimer : 0; }
  void created(State&) override { update(); }

  void ticked(State& s) override {
    if (running || !ticking()) return;
    running = true;
    fireNotify(s, *this, EventKind::Timer);
    running = false;
  }

  bool ticking() const { return enabled && interval > 0 && onTimer != 0; }
  void update() const {
    tellInt(kAttrInterval, interval);
    tellInt(kAttrTimerOn, ticking());
  }

  int32_t interval = 1000;
  bool enabled = true;
  uint32_t onTimer = 0;
  int32_t field3 = 0;
  bool running = false;
};

template <>
TimerObject& subject<TimerObject>(MemberCall& c) {
  return static_cast<TimerObject&>(c.object());  // checked to be of this type
}

namespace {

TimerObject& timerOf(MemberCall& c) { return subject<TimerObject>(c); }

void timerSetInterval(MemberCall& c, int32_t ms) {
  TimerObject& t = timerOf(c);
  t.interval = ms;
  t.update();
}
void timerSetEnabled(MemberCall& c, int32_t on) {
  TimerObject& t = timerOf(c);
  t.enabled = on != 0;
  t.update();
}
void timerBind(MemberCall& c, HandlerPos at) {
  TimerObject& t = timerOf(c);
  t.onTimer = at.at;
  t.update();
}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_timer.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(timer){kMembers, &makeVisual<TimerObject>};

}  // namespace tavrin
