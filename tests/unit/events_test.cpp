// The shared event handlers without Qt: forms and buttons made without the windowed layer
// (models without peers), handlers bound by the program's own statements, and the events
// fired as the layer would report them. Parameters land in the next level's slots, results
// come back, the flags suppress what they should, the hook sees what it should, and a
// failing or ending handler leaves the interpreter as it was.
#include <gtest/gtest.h>

#include <string>

#include "interp/calls.h"
#include "interp/dispatcher.h"
#include "interp/message_queue.h"
#include "interp/state.h"
#include "runtime/loader.h"
#include "runtime/run_error.h"
#include "tools/asm.h"
#include "ui/events.h"
#include "ui/object_model.h"
#include "ui/types/form.h"

namespace tavrin {
namespace {

// Double global 0 counts the handlers that ran; each handler adds its own digit to Double
// global 1 (so the order shows) and copies what it was given into Double globals 2..5.
const char* const kProgram = R"(
.proc down
  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }
  StmtAssignGlobal Double 2 { fn NumberParameter { const Long 0 } }
  StmtAssignGlobal Double 3 { fn NumberParameter { const Long 1 } }
  StmtAssignGlobal Double 4 { fn NumberParameter { const Long 2 } }
  StmtAssignGlobal Double 5 { fn NumberParameter { const Long 3 } }
  StmtEndBody
.end
.proc keep_open
  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }
  StmtAssignGlobal Double 2 { fn NumberParameter { const Long 0 } }
  StmtAssignParam Double 0 { const Long 0 }
  StmtEndBody
.end
.proc free_it
  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }
  StmtAssignParam Double 0 { const Double 2.9 }
  StmtEndBody
.end
.proc fails
  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }
  StmtPrint { const Long 1 const Long 0 divide } break
  StmtEndBody
.end
.proc ends
  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }
  StmtEnd
.end
.proc form_key
  StmtAssignGlobal Double 1 { var Double 1 const Long 10 times const Long 1 plus }
  StmtEndBody
.end
.proc button_key
  StmtAssignGlobal Double 1 { var Double 1 const Long 10 times const Long 2 plus }
  StmtEndBody
.end
.proc forever
again:
  StmtJump @again
.end
.main
  StmtObjectMember otForm 0 OnMouseDown @down
  StmtObjectMember otForm 0 OnMouseMove @down
  StmtObjectMember otForm 0 OnMessage @down
  StmtObjectMember otForm 0 OnMessage @down
  StmtObjectMember otForm 0 OnKeyDown @form_key
  StmtObjectMember otForm 0 KeyPreview { const Long 1 }
  StmtObjectMember otForm 1 OnClose @keep_open
  StmtObjectMember otForm 2 OnClose @free_it
  StmtObjectMember otForm 1 OnMouseMove @fails
  StmtObjectMember otForm 1 OnResize @fails
  StmtObjectMember otForm 2 OnMouseDown @ends
  StmtObjectMember otForm 2 OnKeyDown @forever
  StmtObjectMember otButton 0 Parent obj otForm 0
  StmtObjectMember otButton 0 OnKeyDown @button_key
  StmtObjectMember otButton 0 Kind { const Long 1 }
  StmtObjectMember otButton 1 Caption { const String "plain" }
  StmtReturn
)";

struct Ended {
  int status;
};

class Events : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(loadImage(s, assemble(kProgram, "t.tasm")));
    s.programName = "prog";
    CreateObjects(s, otForm, 2);
    CreateObjects(s, otButton, 1);
    runStatements(s);
    visualState(s).endRun = [](State&, int status) { throw Ended{status}; };
    s.code.seek(s.mainStart);
    s.statementPosition = 0x55;
  }
  FormObject& form(int i) { return static_cast<FormObject&>(ObjectAt(s, otForm, i)); }
  VisualObject& button(int i) { return static_cast<VisualObject&>(ObjectAt(s, otButton, i)); }
  double global(int i) { return s.stores.scalars[size_t(ValueType::Double)].read<double>(int64_t(i) * 8); }
  // What a handler at level 1 was given: number slot k, object slot k.
  double slot(int k) { return s.calls.numberSlots.read<double>(int64_t(k) * 8); }
  std::pair<int, int> object(int k) {
    return {s.calls.referenceSlots.read<uint8_t>(int64_t(k) * 3), s.calls.referenceSlots.read<uint16_t>(int64_t(k) * 3 + 1)};
  }
  void expectInterpreterBack() {
    EXPECT_EQ(s.calls.level, 0);
    EXPECT_TRUE(s.calls.returnStack.empty());
    EXPECT_EQ(s.code.position(), s.mainStart);
    EXPECT_EQ(s.statementPosition, 0x55u);
  }
  State s;
};

TEST_F(Events, MouseButtonsPassButtonPointShiftAndTheSender) {
  fireMouseButton(s, form(0), EventKind::MouseDown, 0, 10, 20, kShiftShift);
  EXPECT_EQ(global(0), 1);
  EXPECT_EQ(global(2), 0);
  EXPECT_EQ(global(3), 10);
  EXPECT_EQ(global(4), 20);
  EXPECT_EQ(global(5), 256);
  EXPECT_EQ(object(4), std::make_pair(int(otForm), 0));
  expectInterpreterBack();
  // Unbound events run nothing; a mouse-up is not bound on form 0.
  fireMouseButton(s, form(0), EventKind::MouseUp, 1, 3, 4, 0);
  fireNotify(s, form(0), EventKind::Click);
  EXPECT_EQ(global(0), 1);
}

TEST_F(Events, MouseMovesRecordThePositionAndAreDroppedWhileBusy) {
  fireMouseMove(s, form(0), 7, 8, kShiftCtrl + kShiftAlt);
  EXPECT_EQ(global(0), 1);
  EXPECT_EQ(global(2), 7);
  EXPECT_EQ(global(3), 8);
  EXPECT_EQ(global(4), 17);
  EXPECT_EQ(object(3), std::make_pair(int(otForm), 0));
  EXPECT_FALSE(visualState(s).mouseBusyFlag);
  // While a resize or mouse-move handler runs, moves and downs are dropped; the position
  // is still recorded.
  visualState(s).mouseBusyFlag = true;
  fireMouseMove(s, form(0), 30, 40, 0);
  fireMouseButton(s, form(0), EventKind::MouseDown, 0, 1, 1, 0);
  EXPECT_EQ(global(0), 1);
  EXPECT_EQ(visualState(s).lastMouseX, 30);
  EXPECT_EQ(visualState(s).lastMouseY, 40);
  // A form without a mouse-move handler still records its moves (its own handler is
  // always installed); a button without one does not.
  visualState(s).mouseBusyFlag = false;
  fireMouseMove(s, form(2), 5, 6, 0);
  fireMouseMove(s, button(1), 99, 99, 0);
  EXPECT_EQ(visualState(s).lastMouseX, 5);
  EXPECT_EQ(visualState(s).lastMouseY, 6);
}

TEST_F(Events, CloseLogicTakesTheActionBackAndSetsClosingFlag) {
  VisualState& v = visualState(s);
  // No close handler: the default action stands and closingFlag goes up.
  EXPECT_EQ(fireClose(s, form(0), kCloseHide), kCloseHide);
  EXPECT_TRUE(v.closingFlag);
  v.closingFlag = false;
  // A handler that answers 0 keeps the form; it was given the action and the form.
  EXPECT_EQ(fireClose(s, form(1), kCloseHide), kCloseNone);
  EXPECT_EQ(global(2), 1);
  EXPECT_EQ(object(1), std::make_pair(int(otForm), 1));
  EXPECT_FALSE(v.closingFlag);
  // 2.9 truncates to 2 (free): closingFlag goes up.
  EXPECT_EQ(fireClose(s, form(2), kCloseHide), kCloseFree);
  EXPECT_TRUE(v.closingFlag);
  expectInterpreterBack();
}

TEST_F(Events, ClosingHidesTheFormAndActionTwoKeepsItsObject) {
  for (int i : {1, 2}) form(i).visible = true;
  form(1).close(s);
  EXPECT_TRUE(form(1).visible);  // its handler answered 0
  form(2).close(s);
  EXPECT_FALSE(form(2).visible);  // action 2: hidden, not destroyed
  EXPECT_EQ(&ObjectAt(s, otForm, 2), &form(2));
  EXPECT_EQ(form(2).width, kFormWidth);
}

TEST_F(Events, ResizeLogicClearsClosingFlagInsteadOfRunningOnce) {
  VisualState& v = visualState(s);
  v.closingFlag = true;
  fireFormResize(s, form(1));  // bound: the flag goes down, the handler does not run
  EXPECT_FALSE(v.closingFlag);
  EXPECT_EQ(global(0), 0);
  testing::internal::CaptureStderr();
  fireFormResize(s, form(1));  // now it runs (and fails): both flags end down
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(global(0), 1);
  EXPECT_NE(err.find("Division by zero"), std::string::npos) << err;
  EXPECT_FALSE(v.mouseBusyFlag);
  EXPECT_FALSE(v.closingFlag);
  v.closingFlag = true;
  fireFormResize(s, form(0));  // no resize handler: the flag goes down too
  EXPECT_FALSE(v.closingFlag);
}

TEST_F(Events, AFailingHandlerIsReportedAndPutsEverythingBack) {
  s.calls.level = 0;
  testing::internal::CaptureStderr();
  fireMouseMove(s, form(1), 1, 2, 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("prog: run-time error 200"), std::string::npos) << err;
  EXPECT_FALSE(visualState(s).mouseBusyFlag);
  expectInterpreterBack();
  // The next event runs normally.
  fireMouseButton(s, form(0), EventKind::MouseDown, 2, 0, 0, 0);
  EXPECT_EQ(global(0), 2);
  EXPECT_EQ(global(2), 2);
}

TEST_F(Events, TheEndStatementAndLimitsInAHandlerEndTheRun) {
  try {
    fireMouseButton(s, form(2), EventKind::MouseDown, 0, 0, 0, 0);
    ADD_FAILURE() << "the end statement did not end the run";
  } catch (const Ended& e) {
    EXPECT_EQ(e.status, 0);
  }
  EXPECT_EQ(global(0), 1);
  s.stepLimit = 1000;
  testing::internal::CaptureStderr();
  try {
    fireKey(s, form(2), EventKind::KeyDown, 65, 0);
    ADD_FAILURE() << "the step limit did not end the run";
  } catch (const Ended& e) {
    EXPECT_EQ(e.status, 217);
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("step budget"), std::string::npos) << err;
}

TEST_F(Events, KeyPreviewGivesTheFormTheKeyFirst) {
  TavrinEvent e{};
  e.type = otButton, e.instance = 0, e.kind = kEventKeyDown;
  e.param[0] = 13;
  EXPECT_EQ(dispatchLayerEvent(s, e), kVisualOk);
  EXPECT_EQ(global(1), 12);  // the form's handler (1), then the button's (2)
  form(0).keyPreview = 0;
  EXPECT_EQ(dispatchLayerEvent(s, e), kVisualOk);
  EXPECT_EQ(global(1), 122);
}

TEST_F(Events, TheHookSeesMessagesOfTheHookedFormOnly) {
  // Bound twice: every message runs the handler once, then the window's own handling.
  form(0).visible = true;
  ASSERT_TRUE(postMessage(s, {form(0).handle, 1234, 5, -6}));
  deliverPending(s);
  EXPECT_EQ(global(0), 1);
  EXPECT_EQ(global(2), form(0).handle);
  EXPECT_EQ(global(3), 1234);
  EXPECT_EQ(global(4), 5);
  EXPECT_EQ(global(5), -6);
  ASSERT_TRUE(postMessage(s, {form(0).handle, wm::Close, 0, 0}));
  deliverPending(s);
  EXPECT_EQ(global(0), 2);
  EXPECT_FALSE(form(0).visible);  // the default handling closed it
  // closingFlag is up now (form 0 has no close handler): the program's handler does not
  // run, but the window still handles its messages.
  ASSERT_TRUE(visualState(s).closingFlag);
  form(0).visible = true;
  sendMessage(s, {form(0).handle, wm::SysCommand, wm::ScMaximize, 0});
  EXPECT_EQ(global(0), 2);
  EXPECT_EQ(form(0).windowState, 2);
  sendMessage(s, {form(0).handle, wm::Close, 0, 0});
  EXPECT_FALSE(form(0).visible);
  // Another form hooked: form 0's messages get their own handling only.
  visualState(s).closingFlag = false;
  visualState(s).hooked = &form(1);
  sendMessage(s, {form(0).handle, 99, 0, 0});
  EXPECT_EQ(global(0), 2);
  // Translated framework events reach the hook too (as WM_LBUTTONDOWN with the point).
  visualState(s).hooked = &form(0);
  TavrinEvent e{};
  e.type = otForm, e.instance = 0, e.kind = kEventMouseDown;
  e.param[1] = 3, e.param[2] = 4;
  EXPECT_EQ(dispatchLayerEvent(s, e), kVisualOk);
  EXPECT_EQ(global(0), 4);  // the hook, then the mouse-down handler (the same procedure)
  EXPECT_EQ(global(2), 0);  // the mouse-down handler's button
}

TEST_F(Events, AnObjectThatDoesNotExistIsReportedNotFatal) {
  TavrinEvent e{};
  e.type = otForm, e.instance = 40, e.kind = kEventClick;
  testing::internal::CaptureStderr();
  EXPECT_EQ(dispatchLayerEvent(s, e), kVisualFailed);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("no otForm object 40"), std::string::npos) << err;
  expectInterpreterBack();
}

TEST_F(Events, ButtonKindsGiveModalResultsCaptionsAndDefaults) {
  // Kind 1 (OK) on an empty caption: the kind's caption; a custom kind keeps its own.
  EXPECT_EQ(button(0).caption, "OK");
  EXPECT_EQ(button(1).caption, "plain");
  // The click gives the form the button's modal result; a form that is not modal keeps
  // it and stays as it is.
  form(0).visible = true;
  button(0).clicked(s);
  EXPECT_EQ(form(0).modalResult, 1);
  EXPECT_TRUE(form(0).visible);
  // BM_CLICK at the button's window is a click.
  form(0).modalResult = 0;
  sendMessage(s, {button(0).handle, wm::ButtonClick, 0, 0});
  EXPECT_EQ(form(0).modalResult, 1);
}

// Reads of the model through the read dispatcher, in a program of their own.
double readBack(const std::string& statements, int global) {
  State t;
  EXPECT_TRUE(loadImage(t, assemble(".main\n" + statements + "  StmtReturn\n", "u.tasm")));
  CreateObjects(t, otForm, 1);
  CreateObjects(t, otButton, 1);
  fireMouseMove(t, static_cast<VisualObject&>(ObjectAt(t, otForm, 1)), 12, 34, 0);
  runStatements(t);
  return t.stores.scalars[size_t(ValueType::Double)].read<double>(int64_t(global) * 8);
}

TEST(EventReads, TheLastMousePositionReachesTheFunctions) {
  EXPECT_EQ(readBack("  StmtAssignGlobal Double 0 { fn EventCoordinate1 fn EventCoordinate2 const Long 1000 times plus }\n", 0),
            34012);
}

TEST(EventReads, ButtonDefaultsCancelAndKindsReadBack) {
  EXPECT_EQ(readBack("  StmtObjectMember otButton 0 Kind { const Long 4 }\n"
                     "  StmtAssignGlobal Double 0 { prop otButton 0 Default prop otButton 0 Cancel const Long 10 times plus }\n", 0),
            1);
  EXPECT_EQ(readBack("  StmtObjectMember otButton 0 Kind { const Long 5 }\n"
                     "  StmtAssignGlobal Double 0 { prop otButton 0 Default prop otButton 0 Cancel const Long 10 times plus }\n", 0),
            10);
  EXPECT_EQ(readBack("  StmtAssignGlobal Double 0 { prop otButton 0 Width prop otButton 0 Height const Long 1000 times plus }\n", 0),
            25075);
}

// The geometry model: outer sizes from client sizes through each border style's frame and
// caption bar; a new border style keeps the client area.
TEST(EventReads, FormGeometryFollowsTheFrameMetrics) {
  auto client = [](const std::string& setup) {
    return readBack(setup + "  StmtAssignGlobal Double 0 { prop otForm 0 ClientWidth prop otForm 0 ClientHeight const Long 1000 times plus }\n", 0);
  };
  EXPECT_EQ(client(""), 213312);  // 320 x 240 sizeable: 312 x 213
  EXPECT_EQ(client("  StmtObjectMember otForm 0 BorderStyle { const Long 0 }\n"), 213312);
  EXPECT_EQ(readBack("  StmtObjectMember otForm 0 BorderStyle { const Long 0 }\n"
                     "  StmtAssignGlobal Double 0 { prop otForm 0 Width prop otForm 0 Height const Long 1000 times plus }\n", 0),
            213312);
  EXPECT_EQ(readBack("  StmtObjectMember otForm 0 BorderStyle { const Long 3 }\n"
                     "  StmtObjectMember otForm 0 ClientWidth { const Long 100 }\n"
                     "  StmtObjectMember otForm 0 ClientHeight { const Double 50.9 }\n"
                     "  StmtAssignGlobal Double 0 { prop otForm 0 Width prop otForm 0 Height const Long 1000 times plus }\n", 0),
            75106);  // dialog frame 3, caption 19
  EXPECT_EQ(readBack("  StmtObjectMember otForm 0 BorderStyle { const Long 4 }\n"
                     "  StmtObjectMember otForm 0 ClientHeight { const Long 50 }\n"
                     "  StmtAssignGlobal Double 0 { prop otForm 0 Height }\n", 0),
            71);  // tool window: caption 15
  EXPECT_EQ(readBack("  StmtObjectMember otForm 0 CaptionOff\n"
                     "  StmtObjectMember otForm 0 CaptionOff\n"
                     "  StmtAssignGlobal Double 0 { prop otForm 0 Height }\n"
                     "  StmtObjectMember otForm 0 CaptionOn\n"
                     "  StmtAssignGlobal Double 1 { prop otForm 0 Height prop otForm 0 ClientHeight const Long 1000 times plus }\n", 0),
            221);
  EXPECT_EQ(readBack("  StmtObjectMember otForm 0 Width { const Long 200 }\n"
                     "  StmtObjectMember otForm 0 Position\n"
                     "  StmtAssignGlobal Double 0 { prop otForm 0 Left prop otForm 0 Top const Long 1000 times plus }\n", 0),
            264412);  // centred on 1024 x 768
}

}  // namespace
}  // namespace tavrin
