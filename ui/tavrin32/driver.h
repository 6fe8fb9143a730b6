// The headless driver: a script of steps (docs/driver.md) carried out whenever the program
// pumps and Qt has nothing else to do, so a windowed program runs under test without a user.
// Components are found by their object names ("otButton:3"); events are sent to the
// component itself, not to whatever has the focus.
#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

namespace tavrin::drive {

enum class StepKind {
  WaitVisible, WaitHidden, Click, DoubleClick, Press, Move, Release, Type, Key, Answer, Accept, Cancel,
  Close, Grab, Dump, Sleep, Timeout, Input,
};

struct Step {
  int line = 0;
  QString source;  // the line as written, for reports
  StepKind kind = StepKind::Dump;
  QString type;    // component type name (otForm); empty for steps without a component
  int instance = -1;
  bool hasPoint = false;
  QPoint point;
  Qt::MouseButton button = Qt::LeftButton;
  Qt::KeyboardModifiers modifiers;
  int key = 0;     // Qt::Key of `key`
  QString text;    // `type` text, `accept` value, `grab`/`dump` file
  int number = 0;  // `answer` result, milliseconds of `sleep`, `timeout` and waits (0: default)
};

// Parses a script; on a bad line returns false with "LINE: reason" in `error`.
bool parseScript(const QByteArray& text, std::vector<Step>& steps, QString& error);

// Longest wait a script may ask for, in milliseconds.
inline constexpr int kLongestWait = 600000;
inline constexpr int kDefaultTimeout = 5000;

// The named component: the widget whose object name is "TYPE:INSTANCE"; null when none.
QWidget* findComponent(const QString& type, int instance);
// The component tree: one line per named widget, children indented under their parents.
QString componentTree();

class Driver : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const QString& line)> report;  // one line for stderr
    std::function<void(int status)> exit;              // ends the run; may return in tests
  };

  Driver(QString scriptName, std::vector<Step> steps, Hooks hooks, QObject* parent = nullptr);
  ~Driver() override;

  // Starts carrying out the steps at the next pumps.
  void start();
  size_t stepsLeft() const { return m_steps.size() - m_next; }
  // The program ends: reports the steps left (one line). True when there were any.
  bool finish();

 private:
  void tick();
  // Carries out `step`: true when done, false to look again at the next tick. A failure
  // sets `failure`.
  bool perform(const Step& step, QString& failure);
  void fail(const Step& step, const QString& why);
  QString where(const Step& step) const;

  QString m_scriptName;
  std::vector<Step> m_steps;
  Hooks m_hooks;
  size_t m_next = 0;
  bool m_waiting = false;       // the current step is being waited on
  QElapsedTimer m_waitClock;    // since the current step first ran
  int m_timeout = kDefaultTimeout;
  bool m_platformInput = false; // input through the window system (`input platform`)
  bool m_failed = false;
  int m_depth = 0;              // ticks nested in a step's events
  bool m_tickPosted = false;
  Qt::MouseButtons m_buttons;   // pressed by `press`, for the moves and releases after it
  QTimer m_timer;
};

}  // namespace tavrin::drive
