// The driver against plain widgets named as the windowed layer names its components, in an
// offscreen QApplication: the script reader, each kind of step, the bounds and the reports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QInputDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "ui/tavrin32/driver.h"
#include "ui/tavrin32/message_boxes.h"

namespace tavrin::drive {
namespace {

// A form that records the mouse events it receives.
class Recorder : public QWidget {
 public:
  QStringList events;

 protected:
  void mousePressEvent(QMouseEvent* e) override { record("press", e); }
  void mouseMoveEvent(QMouseEvent* e) override { record("move", e); }
  void mouseReleaseEvent(QMouseEvent* e) override { record("release", e); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { record("dblclick", e); }

 private:
  void record(const char* what, QMouseEvent* e) {
    QPoint p = e->position().toPoint();
    events << QStringLiteral("%1 %2 %3 b%4 m%5")
                  .arg(QLatin1String(what)).arg(p.x()).arg(p.y()).arg(int(e->button())).arg(int(e->modifiers()));
  }
};

struct ScriptRun {
  QStringList reports;
  int exitStatus = -1;
  std::unique_ptr<Driver> driver;

  explicit ScriptRun(const char* script) {
    std::vector<Step> steps;
    QString error;
    EXPECT_TRUE(parseScript(QByteArray(script), steps, error)) << error.toStdString();
    Driver::Hooks hooks{[this](const QString& line) { reports << line; }, [this](int status) { exitStatus = status; }};
    driver = std::make_unique<Driver>(QStringLiteral("t.drive"), std::move(steps), std::move(hooks));
    driver->start();
  }
  // Pumps until every step is carried out or the run failed, at most `ms`.
  bool finishWithin(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (driver->stepsLeft() > 0 && exitStatus < 0 && clock.elapsed() < ms)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return driver->stepsLeft() == 0 && exitStatus < 0;
  }
};

QString parseError(const char* script) {
  std::vector<Step> steps;
  QString error;
  EXPECT_FALSE(parseScript(QByteArray(script), steps, error)) << script;
  return error;
}

TEST(DriveScript, ReadsEveryStepWithItsOperands) {
  std::vector<Step> steps;
  QString error;
  ASSERT_TRUE(parseScript("# a comment\n\n  wait visible otForm 0\n"
                          "click otButton 1\n"
                          "press otForm 0 10 20 right shift ctrl\n"
                          "type otEdit 2 \"a \\\"b\\\" c\"\n"
                          "key otForm 0 F5 ctrl alt\n"
                          "answer 6\naccept \"x y\"\ncancel\nclose otForm 0\n"
                          "grab otForm 0 out.png\ndump\nsleep 20\ntimeout 300\nwait hidden otForm 0 40\n",
                          steps, error))
      << error.toStdString();
  ASSERT_EQ(steps.size(), 14u);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[0].kind, StepKind::WaitVisible);
  EXPECT_EQ(steps[1].type, QStringLiteral("otButton"));
  EXPECT_EQ(steps[1].instance, 1);
  EXPECT_FALSE(steps[1].hasPoint);
  EXPECT_EQ(steps[2].point, QPoint(10, 20));
  EXPECT_EQ(steps[2].button, Qt::RightButton);
  EXPECT_EQ(steps[2].modifiers, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(steps[3].text, QStringLiteral("a \"b\" c"));
  EXPECT_EQ(steps[4].key, int(Qt::Key_F5));
  EXPECT_EQ(steps[4].modifiers, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_EQ(steps[5].number, 6);
  EXPECT_EQ(steps[6].text, QStringLiteral("x y"));
  EXPECT_EQ(steps[9].text, QStringLiteral("out.png"));
  EXPECT_EQ(steps[11].number, 20);
  EXPECT_EQ(steps[13].kind, StepKind::WaitHidden);
  EXPECT_EQ(steps[13].number, 40);
}

TEST(DriveScript, ABadLineIsNamedWithItsNumberAndReason) {
  EXPECT_EQ(parseError("dump\nfly otForm 0\n"), QStringLiteral("2: unknown step \"fly\""));
  EXPECT_TRUE(parseError("click otFrom 0").contains(QStringLiteral("\"otFrom\" is not an object type name")));
  EXPECT_TRUE(parseError("click otForm x").contains(QStringLiteral("not an instance number")));
  EXPECT_TRUE(parseError("press otForm 0 10").contains(QStringLiteral("needs a point X Y")));
  EXPECT_TRUE(parseError("click otForm 0 sideways").contains(QStringLiteral("unknown word \"sideways\"")));
  EXPECT_TRUE(parseError("key otForm 0 F99").contains(QStringLiteral("\"F99\" is not a key name")));
  EXPECT_TRUE(parseError("type otEdit 0 \"open").contains(QStringLiteral("not closed")));
  EXPECT_TRUE(parseError("sleep 999999999").contains(QStringLiteral("not a time in milliseconds")));
  EXPECT_TRUE(parseError("wait otForm 0").contains(QStringLiteral("visible or hidden")));
  EXPECT_TRUE(parseError("answer").contains(QStringLiteral("answer takes 1 word")));
  EXPECT_TRUE(parseError("close otForm").contains(QStringLiteral("needs a component")));
}

TEST(Driver, WaitsForTheFormClicksItsButtonAndClosesIt) {
  QWidget form;
  form.setObjectName(QStringLiteral("otForm:0"));
  auto* button = new QPushButton(QStringLiteral("Go"), &form);
  button->setObjectName(QStringLiteral("otButton:1"));
  int clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  QTimer::singleShot(30, &form, [&] { form.show(); });
  ScriptRun run("wait visible otForm 0\nclick otButton 1\nclick otButton 1\nclose otForm 0\nwait hidden otForm 0\n");
  EXPECT_TRUE(run.finishWithin(5000)) << run.reports.join('\n').toStdString();
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(form.isVisible());
}

TEST(Driver, MouseStepsArriveAtTheComponentWithButtonsAndModifiers) {
  Recorder form;
  form.setObjectName(QStringLiteral("otForm:0"));
  form.resize(200, 100);
  form.show();
  ScriptRun run("press otForm 0 10 20 shift\nmove otForm 0 15 25\nrelease otForm 0 15 25\n"
          "click otForm 0 5 6 right ctrl\ndblclick otForm 0 7 8\n");
  ASSERT_TRUE(run.finishWithin(5000)) << run.reports.join('\n').toStdString();
  const int shift = int(Qt::ShiftModifier), ctrl = int(Qt::ControlModifier);
  EXPECT_EQ(form.events, QStringList({QStringLiteral("press 10 20 b1 m%1").arg(shift), QStringLiteral("move 15 25 b0 m0"),
                                      QStringLiteral("release 15 25 b1 m0"), QStringLiteral("press 5 6 b2 m%1").arg(ctrl),
                                      QStringLiteral("release 5 6 b2 m%1").arg(ctrl), QStringLiteral("press 7 8 b1 m0"),
                                      QStringLiteral("release 7 8 b1 m0"), QStringLiteral("dblclick 7 8 b1 m0"),
                                      QStringLiteral("release 7 8 b1 m0")}));
}

TEST(Driver, TypesTextAndKeysIntoTheNamedEditWithoutTheFocus) {
  QWidget form;
  form.setObjectName(QStringLiteral("otForm:0"));
  auto* other = new QLineEdit(&form);
  other->setObjectName(QStringLiteral("otEdit:0"));
  auto* edit = new QLineEdit(&form);
  edit->setObjectName(QStringLiteral("otEdit:1"));
  form.show();
  other->setFocus();
  ScriptRun run("type otEdit 1 \"Hello, world\"\nkey otEdit 1 backspace\nkey otEdit 1 home\nkey otEdit 1 x shift\n");
  ASSERT_TRUE(run.finishWithin(5000)) << run.reports.join('\n').toStdString();
  EXPECT_EQ(edit->text(), QStringLiteral("XHello, worl"));
  EXPECT_EQ(other->text(), QString());
}

// A button whose click shows a Yes/No box and keeps the answer.
struct BoxForm {
  QWidget form;
  int answer = -1;
  BoxForm() {
    form.setObjectName(QStringLiteral("otForm:0"));
    auto* button = new QPushButton(QStringLiteral("Ask"), &form);
    button->setObjectName(QStringLiteral("otButton:0"));
    QObject::connect(button, &QPushButton::clicked, [this] {
      static const TavrinMessageButton buttons[] = {{"Yes", 6}, {"No", 7}};
      TavrinMessageBox box{"Caption", "Question \x80?", 1, buttons, 2, 0, -1, 1};
      answer = visual::runMessageBox(box);
    });
    form.show();
  }
};

TEST(Driver, AnswersTheMessageBoxAClickOpens) {
  BoxForm f;
  ScriptRun run("click otButton 0\nanswer 7\n");
  ASSERT_TRUE(run.finishWithin(5000)) << run.reports.join('\n').toStdString();
  QElapsedTimer clock;
  clock.start();
  while (f.answer < 0 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(f.answer, 7);
}

TEST(Driver, AnAnswerNoButtonGivesFailsNamingTheButtonsThereAre) {
  BoxForm f;
  ScriptRun run("click otButton 0\nanswer 2\n");
  // Once the driver has given up, a user (here the test) answers the box still open.
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (run.exitStatus < 0) return;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("tavrinMessageBox") && w->isVisible())
        for (QPushButton* b : w->findChildren<QPushButton*>())
          if (b->property("tavrinResult").toInt() == 6) b->click();
  });
  user.start(5);
  EXPECT_FALSE(run.finishWithin(5000));
  EXPECT_EQ(run.exitStatus, TAVRIN_DRIVE_FAILED);
  ASSERT_EQ(run.reports.size(), 1);
  EXPECT_EQ(run.reports[0], QStringLiteral("drive t.drive:2: answer 2: the message box has no button whose result is 2 "
                                           "(it has 6 Yes, 7 No)"));
  QElapsedTimer clock;
  clock.start();
  while (f.answer < 0 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(f.answer, 6);
}

TEST(Driver, AcceptsAndCancelsTheNextDialog) {
  QWidget form;
  form.setObjectName(QStringLiteral("otForm:0"));
  auto* button = new QPushButton(&form);
  button->setObjectName(QStringLiteral("otButton:0"));
  QStringList results;
  QObject::connect(button, &QPushButton::clicked, [&] {
    bool ok = false;
    QString text = QInputDialog::getText(&form, QStringLiteral("t"), QStringLiteral("name"), QLineEdit::Normal,
                                         QString(), &ok);
    results << (ok ? text : QStringLiteral("(cancelled)"));
  });
  form.show();
  ScriptRun run("click otButton 0\naccept \"Ada Lovelace\"\nclick otButton 0\ncancel\n");
  ASSERT_TRUE(run.finishWithin(5000)) << run.reports.join('\n').toStdString();
  QElapsedTimer clock;
  clock.start();
  while (results.size() < 2 && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(results, QStringList({QStringLiteral("Ada Lovelace"), QStringLiteral("(cancelled)")}));
}

TEST(Driver, AWaitThatTimesOutFailsNamingTheStepAndItsLine) {
  ScriptRun run("timeout 50\nwait visible otForm 5\ndump\n");
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(run.finishWithin(5000));
  EXPECT_LT(clock.elapsed(), 4000);
  EXPECT_EQ(run.exitStatus, TAVRIN_DRIVE_FAILED);
  EXPECT_EQ(run.reports, QStringList(QStringLiteral("drive t.drive:2: wait visible otForm 5: timed out after 50 ms")));
  EXPECT_FALSE(run.driver->finish());  // a failed script reports nothing more at the end
}

TEST(Driver, AStepOnAComponentThatNeverComesFails) {
  ScriptRun run("timeout 30\nclick otButton 9\n");
  EXPECT_FALSE(run.finishWithin(5000));
  EXPECT_EQ(run.exitStatus, TAVRIN_DRIVE_FAILED);
  EXPECT_EQ(run.reports, QStringList(QStringLiteral("drive t.drive:2: click otButton 9: there is no otButton 9")));
}

TEST(Driver, StepsLeftAtTheEndAreReportedOnce) {
  ScriptRun run("sleep 60000\nclick otButton 1\n");
  QCoreApplication::processEvents();
  EXPECT_TRUE(run.driver->finish());
  EXPECT_EQ(run.reports, QStringList(QStringLiteral("drive t.drive:1: the program ended with 2 steps left (next: sleep 60000)")));
  EXPECT_FALSE(run.driver->finish());
  EXPECT_EQ(run.exitStatus, -1);
}

TEST(Driver, DumpsTheComponentTreeAndGrabsAPicture) {
  QWidget form;
  form.setObjectName(QStringLiteral("otForm:0"));
  form.setWindowTitle(QStringLiteral("Main \"one\""));
  form.setGeometry(100, 120, 320, 200);
  auto* panel = new QWidget(&form);
  auto* button = new QPushButton(QStringLiteral("OK"), panel);  // under an unnamed widget
  button->setObjectName(QStringLiteral("otButton:2"));
  button->setGeometry(10, 20, 80, 24);
  auto* off = new QPushButton(QStringLiteral("Off"), &form);
  off->setObjectName(QStringLiteral("otButton:1"));
  off->setGeometry(0, 0, 40, 20);
  off->setEnabled(false);
  off->hide();
  form.show();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QString png = dir.filePath(QStringLiteral("form.png"));
  QString tree = dir.filePath(QStringLiteral("tree.txt"));
  QByteArray script = "grab otForm 0 " + png.toUtf8() + "\ndump " + tree.toUtf8() + "\ndump\n";
  ScriptRun run(script.constData());
  ASSERT_TRUE(run.finishWithin(5000)) << run.reports.join('\n').toStdString();
  EXPECT_EQ(run.reports, QStringList({QStringLiteral("otForm 0 100,120 320x200 \"Main \\\"one\\\"\" visible enabled"),
                                      QStringLiteral("  otButton 1 0,0 40x20 \"Off\" hidden disabled"),
                                      QStringLiteral("  otButton 2 10,20 80x24 \"OK\" visible enabled")}));
  QFile saved(tree);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(saved.readAll()), run.reports.join('\n') + '\n');
  QImage picture(png);
  EXPECT_EQ(picture.size(), QSize(320, 200));
}

TEST(Driver, AGrabIntoADirectoryThatIsNotThereFails) {
  QWidget form;
  form.setObjectName(QStringLiteral("otForm:0"));
  form.show();
  ScriptRun run("grab otForm 0 /nonexistent/dir/x.png\n");
  EXPECT_FALSE(run.finishWithin(5000));
  EXPECT_EQ(run.reports, QStringList(QStringLiteral("drive t.drive:1: grab otForm 0 /nonexistent/dir/x.png: cannot "
                                                    "save the picture as /nonexistent/dir/x.png")));
}

TEST(MessageBoxes, ProgramTextsAreWindows1252) {
  EXPECT_EQ(visual::fromAnsi("a\x80\x93\xe9"), QString::fromUtf8("a\u20ac\u201c\u00e9"));
  EXPECT_EQ(visual::fromAnsi(nullptr), QString());
}

}  // namespace
}  // namespace tavrin::drive

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
