// The windowed layer's peer functions through the boundary, on Qt's offscreen platform:
// objects made while the layer runs get peers, the peer functions refuse what they cannot
// do with a status (never a crash), a posted message is delivered from inside Qt's loop,
// and a modal loop asked to end before it runs returns at once.
#include <gtest/gtest.h>

#include <cstdlib>

#include "interp/message_queue.h"
#include "interp/state.h"
#include "ui/events.h"
#include "ui/object_model.h"
#include "ui/types/form.h"
#include "ui/visual_layer.h"

namespace tavrin {
namespace {

class VisualPeers : public ::testing::Test {
protected:
  void SetUp() override {
#ifndef TAVRIN_VISUAL_BUILT
    GTEST_SKIP() << "the windowed layer is not built (no Qt 6 Widgets)";
#endif
    setenv("TAVRIN_VISUAL", TAVRIN_BINARY_DIR "/tavrin-visual.so", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    s.programName = "prog";
    layer = &visualLayer(s);
  }
  void TearDown() override {
    if (layer) visualLayerEnd(s);
  }
  State s;
  const TavrinVisualLayer* layer = nullptr;
};

int g_delivered = 0;
int32_t countingProc(State&, void*, const WindowMessage& m) {
  g_delivered += m.wParam;
  return 0;
}

TEST_F(VisualPeers, ObjectsMadeWhileTheLayerRunsHavePeers) {
  CreateObjects(s, otForm, 0);
  CreateObjects(s, otButton, 0);
  CreateObjects(s, otTimer, 0);
  for (uint8_t type : {otForm, otButton, otTimer}) {
    auto& o = static_cast<VisualObject&>(ObjectAt(s, type, 0));
    EXPECT_NE(o.peer, nullptr) << int(type);
    EXPECT_EQ(o.layer, layer);
  }
  EXPECT_EQ(layer->createPeer(31, "otLabel", 0), nullptr);  // no widget for that type yet
}

TEST_F(VisualPeers, PeerFunctionsRefuseWhatTheyCannotDo) {
  CreateObjects(s, otForm, 0);
  CreateObjects(s, otTimer, 0);
  TavrinPeer form = static_cast<VisualObject&>(ObjectAt(s, otForm, 0)).peer;
  TavrinPeer timer = static_cast<VisualObject&>(ObjectAt(s, otTimer, 0)).peer;
  EXPECT_EQ(layer->setInt(nullptr, kAttrVisible, 1), kVisualFailed);
  EXPECT_EQ(layer->setText(nullptr, kTextCaption, "x", 1), kVisualFailed);
  EXPECT_EQ(layer->setGeometry(timer, 0, 0, 10, 10), kVisualFailed);  // a timer has no place
  EXPECT_EQ(layer->runModal(timer), kVisualFailed);
  EXPECT_EQ(layer->setParent(form, nullptr), kVisualFailed);  // forms are windows, not controls
  EXPECT_EQ(layer->setInt(form, 9999, 1), kVisualFailed);
  const uint8_t garbage[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(layer->setPicture(form, kPictureIcon, garbage, sizeof garbage), kVisualFailed);
  EXPECT_EQ(layer->setPicture(form, kPictureIcon, nullptr, 0), kVisualOk);  // back to no icon
  EXPECT_EQ(layer->setText(form, kTextCaption, "Caf\xe9", 4), kVisualOk);
  int32_t x = -1, y = -1;
  EXPECT_EQ(layer->cursorPos(&x, &y), kVisualOk);
  EXPECT_GE(x, 0);
}

TEST_F(VisualPeers, APostedMessageIsDeliveredFromInsideQtsLoop) {
  g_delivered = 0;
  const uint32_t window = newWindowHandle(s);
  registerWindow(s, window, &countingProc, nullptr);
  ASSERT_TRUE(postMessage(s, {window, 1100, 3, 0}));
  ASSERT_TRUE(postMessage(s, {window, 1100, 4, 0}));
  EXPECT_EQ(g_delivered, 0);  // queued, not sent
  EXPECT_EQ(layer->processEvents(), kVisualOk);  // the wake-ups deliver the queue in order
  EXPECT_EQ(g_delivered, 7);
  EXPECT_TRUE(s.core.messages.pending.empty());
}

TEST_F(VisualPeers, AModalLoopEndedBeforeItRunsReturnsAtOnce) {
  CreateObjects(s, otForm, 0);
  auto& f = static_cast<FormObject&>(ObjectAt(s, otForm, 0));
  EXPECT_EQ(layer->endModal(f.peer), kVisualOk);
  EXPECT_EQ(layer->runModal(f.peer), kVisualOk);  // would wait forever otherwise
  f.visible = true;
  EXPECT_THROW(f.showModal(s), RunError);  // a visible form cannot be made modal
}

}  // namespace
}  // namespace tavrin
