// The driver's script reader and the steps themselves.
#include "ui/tavrin32/driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QRegularExpression>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <utility>

#include "ui/tavrin32/driver_input.h"
#include "ui/visual_host.h"

namespace tavrin::drive {
namespace {

struct TypeName {
  int code;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
#define OBJECT_TYPE(code, name, arrays, tag, font, container, resizable, creation) {code, #name},
#include "interp/object_types.def"
#undef OBJECT_TYPE
};

int typeCode(const QString& name) {
  for (const TypeName& t : kTypeNames)
    if (name == QLatin1String(t.name)) return t.code;
  return -1;
}

struct KeyName {
  const char* name;
  int key;
};
// Keys by name; single letters and digits are their own names.
constexpr KeyName kKeyNames[] = {
    {"enter", Qt::Key_Return},      {"return", Qt::Key_Return}, {"escape", Qt::Key_Escape},
    {"esc", Qt::Key_Escape},        {"tab", Qt::Key_Tab},       {"backspace", Qt::Key_Backspace},
    {"delete", Qt::Key_Delete},     {"insert", Qt::Key_Insert}, {"home", Qt::Key_Home},
    {"end", Qt::Key_End},           {"pageup", Qt::Key_PageUp}, {"pagedown", Qt::Key_PageDown},
    {"left", Qt::Key_Left},         {"right", Qt::Key_Right},   {"up", Qt::Key_Up},
    {"down", Qt::Key_Down},         {"space", Qt::Key_Space},
};

int keyCode(const QString& word) {
  QString w = word.toLower();
  for (const KeyName& k : kKeyNames)
    if (w == QLatin1String(k.name)) return k.key;
  if (w.size() >= 2 && w[0] == QLatin1Char('f')) {
    bool ok = false;
    int n = w.mid(1).toInt(&ok);
    if (ok && n >= 1 && n <= 24) return Qt::Key_F1 + n - 1;
  }
  if (w.size() == 1 && ((w[0] >= QLatin1Char('a') && w[0] <= QLatin1Char('z')) ||
                        (w[0] >= QLatin1Char('0') && w[0] <= QLatin1Char('9'))))
    return w[0].toUpper().unicode();
  return 0;
}

// The words of a line: blanks separate them, a double-quoted word may hold blanks, and \" and
// \\ inside it stand for the quote and the backslash.
bool splitWords(const QString& line, QStringList& words, QString& error) {
  int i = 0, n = int(line.size());
  while (i < n) {
    if (line[i].isSpace()) { ++i; continue; }
    if (line[i] == QLatin1Char('"')) {
      QString word;
      ++i;
      bool closed = false;
      while (i < n) {
        QChar c = line[i++];
        if (c == QLatin1Char('\\') && i < n) { word += line[i++]; continue; }
        if (c == QLatin1Char('"')) { closed = true; break; }
        word += c;
      }
      if (!closed) { error = QStringLiteral("a quoted text is not closed"); return false; }
      words << word;
      continue;
    }
    int start = i;
    while (i < n && !line[i].isSpace()) ++i;
    words << line.mid(start, i - start);
  }
  return true;
}

bool number(const QString& word, int& out, int low, int high) {
  bool ok = false;
  int v = word.toInt(&ok);
  if (!ok || v < low || v > high) return false;
  out = v;
  return true;
}

// Mouse buttons and modifiers at the end of a line.
bool buttonsAndModifiers(const QStringList& words, int from, Step& step, QString& error, bool allowButton) {
  for (int i = from; i < words.size(); ++i) {
    QString w = words[i].toLower();
    if (allowButton && w == QLatin1String("left")) step.button = Qt::LeftButton;
    else if (allowButton && w == QLatin1String("right")) step.button = Qt::RightButton;
    else if (allowButton && w == QLatin1String("middle")) step.button = Qt::MiddleButton;
    else if (w == QLatin1String("shift")) step.modifiers |= Qt::ShiftModifier;
    else if (w == QLatin1String("ctrl")) step.modifiers |= Qt::ControlModifier;
    else if (w == QLatin1String("alt")) step.modifiers |= Qt::AltModifier;
    else {
      error = QStringLiteral("unknown word \"%1\" (%2shift, ctrl, alt)")
                  .arg(words[i], allowButton ? QStringLiteral("left, right, middle, ") : QString());
      return false;
    }
  }
  return true;
}

bool parseLine(const QStringList& w, Step& step, QString& error) {
  const QString verb = w[0].toLower();
  auto target = [&](int at) {
    if (w.size() <= at + 1) {
      error = QStringLiteral("%1 needs a component: TYPE INSTANCE (otForm 0)").arg(verb);
      return false;
    }
    if (typeCode(w[at]) < 0) {
      error = QStringLiteral("\"%1\" is not an object type name").arg(w[at]);
      return false;
    }
    step.type = w[at];
    if (!number(w[at + 1], step.instance, 0, 65535)) {
      error = QStringLiteral("\"%1\" is not an instance number (0 to 65535)").arg(w[at + 1]);
      return false;
    }
    return true;
  };
  auto count = [&](int expected) {
    if (w.size() != expected) {
      error = QStringLiteral("%1 takes %2 word%3 after it").arg(verb).arg(expected - 1).arg(expected == 2 ? "" : "s");
      return false;
    }
    return true;
  };
  auto millis = [&](const QString& word, int& out) {
    if (!number(word, out, 0, kLongestWait)) {
      error = QStringLiteral("\"%1\" is not a time in milliseconds (0 to %2)").arg(word).arg(kLongestWait);
      return false;
    }
    return true;
  };
  if (verb == QLatin1String("wait")) {
    if (w.size() < 2 || (w[1] != QLatin1String("visible") && w[1] != QLatin1String("hidden"))) {
      error = QStringLiteral("wait takes visible or hidden, then a component");
      return false;
    }
    step.kind = w[1] == QLatin1String("visible") ? StepKind::WaitVisible : StepKind::WaitHidden;
    if (!target(2)) return false;
    if (w.size() == 5) return millis(w[4], step.number);
    return count(4);
  }
  if (verb == QLatin1String("click") || verb == QLatin1String("dblclick")) {
    step.kind = verb == QLatin1String("click") ? StepKind::Click : StepKind::DoubleClick;
    if (!target(1)) return false;
    int from = 3;
    if (w.size() >= 5 && number(w[3], step.point.rx(), -32768, 32767) && number(w[4], step.point.ry(), -32768, 32767)) {
      step.hasPoint = true;
      from = 5;
    }
    return buttonsAndModifiers(w, from, step, error, true);
  }
  if (verb == QLatin1String("press") || verb == QLatin1String("move") || verb == QLatin1String("release")) {
    step.kind = verb == QLatin1String("press") ? StepKind::Press
                : verb == QLatin1String("move") ? StepKind::Move : StepKind::Release;
    if (!target(1)) return false;
    if (w.size() < 5 || !number(w[3], step.point.rx(), -32768, 32767) || !number(w[4], step.point.ry(), -32768, 32767)) {
      error = QStringLiteral("%1 needs a point X Y after the component").arg(verb);
      return false;
    }
    step.hasPoint = true;
    return buttonsAndModifiers(w, 5, step, error, true);
  }
  if (verb == QLatin1String("type")) {
    step.kind = StepKind::Type;
    if (!target(1) || !count(4)) return false;
    step.text = w[3];
    return true;
  }
  if (verb == QLatin1String("key")) {
    step.kind = StepKind::Key;
    if (!target(1)) return false;
    if (w.size() < 4 || !(step.key = keyCode(w[3]))) {
      error = w.size() < 4 ? QStringLiteral("key needs a key name after the component")
                           : QStringLiteral("\"%1\" is not a key name").arg(w[3]);
      return false;
    }
    return buttonsAndModifiers(w, 4, step, error, false);
  }
  if (verb == QLatin1String("answer")) {
    step.kind = StepKind::Answer;
    if (!count(2)) return false;
    if (!number(w[1], step.number, 0, 65535)) {
      error = QStringLiteral("\"%1\" is not a message box result").arg(w[1]);
      return false;
    }
    return true;
  }
  if (verb == QLatin1String("accept")) {
    step.kind = StepKind::Accept;
    if (w.size() > 2) return count(2);
    if (w.size() == 2) step.text = w[1];
    return true;
  }
  if (verb == QLatin1String("cancel")) { step.kind = StepKind::Cancel; return count(1); }
  if (verb == QLatin1String("close")) { step.kind = StepKind::Close; return target(1) && count(3); }
  if (verb == QLatin1String("grab")) {
    step.kind = StepKind::Grab;
    if (!target(1) || !count(4)) return false;
    step.text = w[3];
    return true;
  }
  if (verb == QLatin1String("dump")) {
    step.kind = StepKind::Dump;
    if (w.size() > 2) return count(2);
    if (w.size() == 2) step.text = w[1];
    return true;
  }
  if (verb == QLatin1String("sleep") || verb == QLatin1String("timeout")) {
    step.kind = verb == QLatin1String("sleep") ? StepKind::Sleep : StepKind::Timeout;
    return count(2) && millis(w[1], step.number);
  }
  if (verb == QLatin1String("input")) {
    step.kind = StepKind::Input;
    if (!count(2)) return false;
    if (w[1] != QLatin1String("component") && w[1] != QLatin1String("platform")) {
      error = QStringLiteral("input takes component or platform");
      return false;
    }
    step.number = w[1] == QLatin1String("platform");
    return true;
  }
  error = QStringLiteral("unknown step \"%1\"").arg(w[0]);
  return false;
}

bool visibleNow(QWidget* w) { return w && w->isVisible(); }

// A widget's caption for the tree: a window's title, else its text.
QString captionOf(QWidget* w) {
  if (w->isWindow()) return w->windowTitle();
  QVariant text = w->property("text");
  return text.canConvert<QString>() ? text.toString() : QString();
}

QString quoted(QString text) {
  text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
  text.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
  return QLatin1Char('"') + text + QLatin1Char('"');
}

// The "TYPE:INSTANCE" name of a component, split; false for other widgets.
bool componentName(const QObject* o, QString& type, int& instance) {
  const QString name = o->objectName();
  int colon = int(name.indexOf(QLatin1Char(':')));
  if (colon <= 2 || !name.startsWith(QLatin1String("ot"))) return false;
  bool ok = false;
  instance = name.mid(colon + 1).toInt(&ok);
  if (!ok) return false;
  type = name.left(colon);
  return typeCode(type) >= 0;
}

struct Node {
  QWidget* widget;
  int code;
  int instance;
};

// Named widgets whose nearest named ancestor is `parent` (null: none), by type and instance.
std::vector<Node> namedChildren(QWidget* parent, const QWidgetList& all) {
  std::vector<Node> out;
  for (QWidget* w : all) {
    QString type;
    int instance = 0;
    if (!componentName(w, type, instance)) continue;
    QWidget* up = w->parentWidget();
    QString t;
    int i = 0;
    while (up && !componentName(up, t, i)) up = up->parentWidget();
    if (up == parent) out.push_back({w, typeCode(type), instance});
  }
  std::sort(out.begin(), out.end(), [](const Node& a, const Node& b) {
    return a.code != b.code ? a.code < b.code : a.instance < b.instance;
  });
  return out;
}

void appendTree(QString& out, QWidget* parent, const QWidgetList& all, int depth) {
  for (const Node& n : namedChildren(parent, all)) {
    QRect g = n.widget->geometry();
    out += QString(depth * 2, QLatin1Char(' ')) + n.widget->objectName().replace(QLatin1Char(':'), QLatin1Char(' '));
    out += QStringLiteral(" %1,%2 %3x%4 %5 %6 %7\n")
               .arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())
               .arg(quoted(captionOf(n.widget)),
                    n.widget->isVisible() ? QStringLiteral("visible") : QStringLiteral("hidden"),
                    n.widget->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"));
    appendTree(out, n.widget, all, depth + 1);
  }
}

// The modal dialog on top, if it is (or is not) a message box.
QDialog* activeDialog(bool messageBox) {
  auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (!d || !d->isVisible()) {
    // A box opened but not yet active (no window manager) is still the one to answer.
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* candidate = qobject_cast<QDialog*>(w);
      if (candidate && candidate->isVisible() && candidate->isModal()) d = candidate;
    }
  }
  if (!d) return nullptr;
  bool isBox = qobject_cast<QMessageBox*>(d) != nullptr;
  return isBox == messageBox ? d : nullptr;
}

}  // namespace

bool parseScript(const QByteArray& text, std::vector<Step>& steps, QString& error) {
  steps.clear();
  const QList<QByteArray> lines = text.split('\n');
  for (int i = 0; i < lines.size(); ++i) {
    QString line = QString::fromUtf8(lines[i]).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    QStringList words;
    Step step;
    step.line = i + 1;
    step.source = line;
    QString why;
    if (!splitWords(line, words, why) || !parseLine(words, step, why)) {
      error = QStringLiteral("%1: %2").arg(i + 1).arg(why);
      return false;
    }
    steps.push_back(std::move(step));
  }
  return true;
}

QWidget* findComponent(const QString& type, int instance) {
  const QString name = type + QLatin1Char(':') + QString::number(instance);
  QWidget* hidden = nullptr;
  for (QWidget* w : QApplication::allWidgets()) {
    if (w->objectName() != name) continue;
    if (w->isVisible()) return w;  // a visible one before one a close has hidden
    hidden = w;
  }
  return hidden;
}

QString componentTree() {
  QString out;
  appendTree(out, nullptr, QApplication::allWidgets(), 0);
  return out;
}

Driver::Driver(QString scriptName, std::vector<Step> steps, Hooks hooks, QObject* parent)
    : QObject(parent), m_scriptName(std::move(scriptName)), m_steps(std::move(steps)), m_hooks(std::move(hooks)) {
  m_timer.setTimerType(Qt::PreciseTimer);
  m_timer.setInterval(1);
  // Qt does not run a timer's slot again while it runs, and a step's events may nest the
  // next steps (the `answer` to the box a click opened): the timer only posts the tick.
  connect(&m_timer, &QTimer::timeout, this, [this] {
    if (m_tickPosted) return;
    m_tickPosted = true;
    QMetaObject::invokeMethod(this, [this] { tick(); }, Qt::QueuedConnection);
  });
}

Driver::~Driver() = default;

void Driver::start() {
  if (m_next < m_steps.size()) m_timer.start();
}

bool Driver::finish() {
  m_timer.stop();
  if (m_failed || m_next >= m_steps.size()) return false;
  const Step& step = m_steps[m_next];
  size_t left = stepsLeft();
  m_hooks.report(QStringLiteral("drive %1:%2: the program ended with %3 step%4 left (next: %5)")
                     .arg(m_scriptName).arg(step.line).arg(left).arg(left == 1 ? "" : "s", step.source));
  m_next = m_steps.size();
  return true;
}

QString Driver::where(const Step& step) const {
  return QStringLiteral("drive %1:%2: %3").arg(m_scriptName).arg(step.line).arg(step.source);
}

void Driver::fail(const Step& step, const QString& why) {
  m_failed = true;
  m_timer.stop();
  m_next = m_steps.size();
  m_hooks.report(where(step) + QStringLiteral(": ") + why);
  m_hooks.exit(TAVRIN_DRIVE_FAILED);
}

void Driver::tick() {
  m_tickPosted = false;
  if (m_failed || m_next >= m_steps.size()) {
    m_timer.stop();
    return;
  }
  ++m_depth;
  // Steps run one per tick, so what a step set going (posted events, repaints) is handled
  // before the next one.
  const size_t index = m_next;
  if (!m_waiting) m_waitClock.start();
  // An action takes its step before it acts: ticks nested in its events go on to the
  // next steps (an `answer` for the box a click opens).
  const Step step = m_steps[index];
  QString failure;
  m_waiting = true;
  bool done = perform(step, failure);
  if (!failure.isEmpty()) {
    --m_depth;
    fail(step, failure);
    return;
  }
  if (done && m_next == index) {
    m_next = index + 1;
    m_waiting = false;
  }
  if (!done && m_next == index) {
    int bound = step.number > 0 && (step.kind == StepKind::WaitVisible || step.kind == StepKind::WaitHidden)
                    ? step.number : m_timeout;
    if (step.kind != StepKind::Sleep && m_waitClock.elapsed() > bound) {
      --m_depth;
      fail(step, QStringLiteral("timed out after %1 ms").arg(bound));
      return;
    }
  }
  --m_depth;
  if (m_next >= m_steps.size()) m_timer.stop();
}

bool Driver::perform(const Step& step, QString& failure) {
  auto take = [&] {  // an action's step is done before its events run
    ++m_next;
    m_waiting = false;
  };
  QPointer<QWidget> target;
  if (!step.type.isEmpty()) {
    target = findComponent(step.type, step.instance);
    const bool waits = step.kind == StepKind::WaitVisible || step.kind == StepKind::WaitHidden;
    if (!target && !waits) {
      // A component that does not exist yet may come: wait for it within the time-out.
      if (m_waitClock.elapsed() > m_timeout)
        failure = QStringLiteral("there is no %1 %2").arg(step.type).arg(step.instance);
      return false;
    }
  }
  switch (step.kind) {
    case StepKind::WaitVisible: return visibleNow(target);
    case StepKind::WaitHidden: return !visibleNow(target);
    case StepKind::Sleep: return m_waitClock.elapsed() >= step.number;
    case StepKind::Timeout:
      m_timeout = step.number;
      return true;
    case StepKind::Input:
      m_platformInput = step.number != 0;
      return true;
    case StepKind::Dump: {
      QString tree = componentTree();
      if (step.text.isEmpty()) {
        for (const QString& line : tree.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) m_hooks.report(line);
        return true;
      }
      QFile file(step.text);
      if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(tree.toUtf8()) < 0)
        failure = QStringLiteral("cannot write %1: %2").arg(step.text, file.errorString());
      return true;
    }
    case StepKind::Grab: {
      QPixmap picture = target->grab();
      if (picture.isNull() || !picture.save(step.text, "PNG"))
        failure = QStringLiteral("cannot save the picture as %1").arg(step.text);
      return true;
    }
    case StepKind::Close:
      take();
      target->close();
      return true;
    case StepKind::Answer: {
      QDialog* box = activeDialog(true);
      if (!box) return false;
      QAbstractButton* chosen = nullptr;
      QStringList offered;
      for (QAbstractButton* b : box->findChildren<QAbstractButton*>()) {
        QVariant result = b->property("tavrinResult");
        if (!result.isValid()) continue;
        offered << QStringLiteral("%1 %2").arg(result.toInt()).arg(b->text().remove(QLatin1Char('&')));
        if (result.toInt() == step.number && !chosen) chosen = b;
      }
      if (!chosen) {
        offered.sort();
        failure = QStringLiteral("the message box has no button whose result is %1 (it has %2)")
                      .arg(step.number).arg(offered.join(QStringLiteral(", ")));
        return true;
      }
      take();
      clickButton(chosen, m_platformInput);
      return true;
    }
    case StepKind::Accept:
    case StepKind::Cancel: {
      QPointer<QDialog> dialog = activeDialog(false);
      if (!dialog) return false;
      take();
      if (step.kind == StepKind::Cancel) {
        dialog->reject();
        return true;
      }
      if (auto* input = qobject_cast<QInputDialog*>(dialog.data())) {
        if (input->inputMode() == QInputDialog::IntInput) input->setIntValue(step.text.toInt());
        else if (input->inputMode() == QInputDialog::DoubleInput) input->setDoubleValue(step.text.toDouble());
        else input->setTextValue(step.text);
      } else if (auto* files = qobject_cast<QFileDialog*>(dialog.data())) {
        files->selectFile(step.text);
      } else {
        dialog->setProperty("tavrinDriveValue", step.text);  // the engine's own dialogs read it
      }
      dialog->accept();
      return true;
    }
    case StepKind::Click:
    case StepKind::DoubleClick: {
      take();
      QPoint at = step.hasPoint ? step.point : target->rect().center();
      sendMouse(target, MouseAction::Press, at, step.button, step.button, step.modifiers, m_platformInput);
      if (target) sendMouse(target, MouseAction::Release, at, step.button, {}, step.modifiers, m_platformInput);
      if (step.kind == StepKind::DoubleClick && target) {
        sendMouse(target, MouseAction::DoubleClick, at, step.button, step.button, step.modifiers, m_platformInput);
        if (target) sendMouse(target, MouseAction::Release, at, step.button, {}, step.modifiers, m_platformInput);
      }
      return true;
    }
    case StepKind::Press:
      take();
      m_buttons |= step.button;
      sendMouse(target, MouseAction::Press, step.point, step.button, m_buttons, step.modifiers, m_platformInput);
      return true;
    case StepKind::Move:
      take();
      sendMouse(target, MouseAction::Move, step.point, Qt::NoButton, m_buttons, step.modifiers, m_platformInput);
      return true;
    case StepKind::Release:
      take();
      m_buttons &= ~Qt::MouseButtons(step.button);
      sendMouse(target, MouseAction::Release, step.point, step.button, m_buttons, step.modifiers, m_platformInput);
      return true;
    case StepKind::Type:
      take();
      for (QChar c : step.text) {
        if (!target) break;
        sendKey(target, c.isLetterOrNumber() ? c.toUpper().unicode() : 0, QString(c), {}, m_platformInput);
      }
      return true;
    case StepKind::Key: {
      take();
      QString text;
      if (!(step.modifiers & (Qt::ControlModifier | Qt::AltModifier))) {
        if (step.key == Qt::Key_Return) text = QStringLiteral("\r");
        else if (step.key == Qt::Key_Escape) text = QString(QChar(27));
        else if (step.key == Qt::Key_Tab) text = QStringLiteral("\t");
        else if (step.key == Qt::Key_Backspace) text = QString(QChar(8));
        else if (step.key == Qt::Key_Space) text = QStringLiteral(" ");
        else if (step.key < 128) {
          QChar c(step.key);
          text = step.modifiers & Qt::ShiftModifier ? QString(c) : QString(c.toLower());
        }
      }
      sendKey(target, step.key, text, step.modifiers, m_platformInput);
      return true;
    }
  }
  return true;
}

}  // namespace tavrin::drive
