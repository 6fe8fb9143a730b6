// The members forms and controls share: each changes the model, then tells the peer.
#include "ui/types/visual_members.h"

#include "interp/state.h"
#include "ui/types/form.h"

namespace tavrin {

VisualObject& visualOf(MemberCall& c) { return visualAt(c.s, c.type, c.instance); }

namespace {

void sizeChanged(MemberCall& c, VisualObject& o) {
  if (o.type() == otForm) static_cast<FormObject&>(o).resized(c.s);
}

}  // namespace

void visualSetCaption(MemberCall& c, const std::string& v) {
  VisualObject& o = visualOf(c);
  o.caption = v;
  o.tellText(kTextCaption, v);
}
std::string visualCaption(MemberCall& c) { return visualOf(c).caption; }

void visualSetLeft(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.setBounds(v, o.top, o.width, o.height);
}
void visualSetTop(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.setBounds(o.left, v, o.width, o.height);
}
void visualSetWidth(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  if (o.setBounds(o.left, o.top, v, o.height)) sizeChanged(c, o);
}
void visualSetHeight(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  if (o.setBounds(o.left, o.top, o.width, v)) sizeChanged(c, o);
}
int32_t visualLeft(MemberCall& c) { return visualOf(c).left; }
int32_t visualTop(MemberCall& c) { return visualOf(c).top; }
int32_t visualWidth(MemberCall& c) { return visualOf(c).width; }
int32_t visualHeight(MemberCall& c) { return visualOf(c).height; }

void visualSetEnabled(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.enabled = v != 0;
  o.tellInt(kAttrEnabled, o.enabled);
}
// The framework's booleans read back as 1 and 0.
int32_t visualEnabled(MemberCall& c) { return visualOf(c).enabled ? 1 : 0; }

void visualSetVisible(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.visible = v != 0;
  o.tellInt(kAttrVisible, o.visible);
}
int32_t visualVisible(MemberCall& c) { return visualOf(c).visible ? 1 : 0; }

void visualSetShowHint(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.showHint = v != 0;
  o.tellInt(kAttrShowHint, o.showHint);
}
int32_t visualShowHint(MemberCall& c) { return visualOf(c).showHint ? 1 : 0; }

void visualSetHint(MemberCall& c, const std::string& v) {
  VisualObject& o = visualOf(c);
  o.hint = v;
  o.tellText(kTextHint, v);
}
std::string visualHint(MemberCall& c) { return visualOf(c).hint; }

void visualSetCursor(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.cursor = v;
  o.tellInt(kAttrCursor, v);
}
int32_t visualCursor(MemberCall& c) { return visualOf(c).cursor; }

void visualSetColor(MemberCall& c, int32_t v) {
  VisualObject& o = visualOf(c);
  o.color = v;
  o.tellInt(kAttrColor, v);
}
int32_t visualColor(MemberCall& c) { return visualOf(c).color; }

void visualAssignFont(MemberCall& c, const ObjectRef& font) {
  Font* from = ObjectAt(c.s, font.type, font.instance).font();
  VisualObject& o = visualOf(c);
  if (!from || from == &o.fontData) return;
  o.fontData = *from;
  o.fontData.changed();  // the object's font gets a handle of its own
}

int32_t visualHandle(MemberCall& c) { return int32_t(visualOf(c).handle); }

}  // namespace tavrin
