// The peers of the program's objects: forms are top-level widgets, buttons push buttons,
// timers QTimers. A peer shows what the engine's model says and reports what the user did;
// it decides nothing itself (a close request, a click, a resize go to the engine, which
// answers through the peer functions). Every function here is behind the exception-free
// boundary: what Qt or the C++ library throws is caught and turned into a status.
#include <QApplication>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

#include "ui/tavrin32/layer.h"

namespace tavrin32 {

const TavrinVisualHost* g_host = nullptr;
bool g_offscreenFallback = false;

namespace {

constexpr int32_t otForm = 30, otButton = 32, otTimer = 49;

struct Peer {
  int32_t type = 0, instance = 0;
  QWidget* widget = nullptr;  // forms and buttons
  QTimer* timer = nullptr;    // timers
  bool applying = false;      // the engine is setting the geometry: nothing is reported back
  std::vector<QEventLoop*> loops;  // modal loops running for this form, innermost last
  bool endPending = false;    // endModal came before the loop ran
  int32_t borderStyle = 2, borderIcons = 7;
  bool captionBar = true;
  bool showHint = false;
  QString hint;
  bool isDefault = false, isCancel = false;
  int32_t interval = 1000;
  bool timerOn = false;
  bool moving = false;        // a button follows the mouse (move by mouse)
  QPoint grab;
};

std::vector<std::unique_ptr<Peer>> g_peers;
bool g_offscreenNoted = false;

// Program texts are Windows-1252 bytes.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromProgram(const char* bytes, size_t length) {
  QString out;
  out.reserve(qsizetype(length));
  for (size_t i = 0; i < length; ++i) {
    const auto b = uint8_t(bytes[i]);
    out += b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b);
  }
  return out;
}

int32_t toProgramChar(QChar c) {
  const char16_t u = c.unicode();
  if (u < 0x80 || (u >= 0xA0 && u < 0x100)) return u;
  for (size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == u) return int32_t(0x80 + i);
  return -1;  // not a character of the code page: no key press
}

// Colours: 0x00BBGGRR, or a system colour (high bit set) from a fixed classic scheme.
QColor colourOf(int32_t v) {
  if (v < 0) {
    static constexpr std::array<uint32_t, 25> kSystem = {
        0xC8D0D4, 0x6D6D6D, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000, 0x000000,
        0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080,
        0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000, 0xE1FFFF};
    const uint32_t index = uint32_t(v) & 0xFF;
    v = index < kSystem.size() ? int32_t(kSystem[index]) : 0;
  }
  return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

int32_t shiftOf(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? 256 : 0) + (m & Qt::AltModifier ? 16 : 0) + (m & Qt::ControlModifier ? 1 : 0);
}

int32_t buttonOf(Qt::MouseButton b) { return b == Qt::RightButton ? 1 : b == Qt::MiddleButton ? 2 : 0; }

// The platform's virtual key codes.
int32_t virtualKey(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma: return 188;
    case Qt::Key_Minus: return 189;
    case Qt::Key_Period: return 190;
    default: return 0;
  }
}

void send(Peer* p, int32_t kind, std::initializer_list<int32_t> params = {}) {
  TavrinEvent e{};
  e.type = p ? p->type : 0;
  e.instance = p ? p->instance : 0;
  e.kind = kind;
  int i = 0;
  for (int32_t v : params)
    if (i < 6) e.param[i++] = v;
  report(e);
}

// Mouse and key reports shared by forms and buttons.
void reportPress(Peer* p, QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  send(p, kEventMouseDown, {buttonOf(e->button()), at.x(), at.y(), shiftOf(e->modifiers())});
}
void reportRelease(Peer* p, QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  send(p, kEventMouseUp, {buttonOf(e->button()), at.x(), at.y(), shiftOf(e->modifiers())});
}
void reportMove(Peer* p, QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  send(p, kEventMouseMove, {at.x(), at.y(), shiftOf(e->modifiers())});
}
void reportKeyDown(Peer* p, QKeyEvent* e) {
  if (const int32_t vk = virtualKey(e->key())) send(p, kEventKeyDown, {vk, shiftOf(e->modifiers())});
  const QString text = e->text();
  if (text.size() == 1) {
    const int32_t c = toProgramChar(text.at(0));
    if (c >= 0) send(p, kEventKeyPress, {c});
  }
}
void reportKeyUp(Peer* p, QKeyEvent* e) {
  if (e->isAutoRepeat()) return;
  if (const int32_t vk = virtualKey(e->key())) send(p, kEventKeyUp, {vk, shiftOf(e->modifiers())});
}

void nameWidget(QObject* o, const char* typeName, int32_t type, int32_t instance) {
  o->setObjectName(QString::fromLatin1(typeName) + QLatin1Char(':') + QString::number(instance));
  o->setProperty("tavrinType", type);
  o->setProperty("tavrinInstance", instance);
}

Peer* buttonWith(QWidget* form, bool Peer::*flag);

class FormWidget final : public QWidget {
public:
  explicit FormWidget(Peer* p) : QWidget(nullptr, Qt::Window), m_peer(p) {
    setMouseTracking(true);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
  }

protected:
  void mousePressEvent(QMouseEvent* e) override {
    m_pressed = e->button() == Qt::LeftButton;
    reportPress(m_peer, e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (m_pressed && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
      send(m_peer, kEventClick);
    m_pressed = false;
    reportRelease(m_peer, e);
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    send(m_peer, kEventDoubleClick);
    reportPress(m_peer, e);
  }
  void mouseMoveEvent(QMouseEvent* e) override { reportMove(m_peer, e); }
  void keyPressEvent(QKeyEvent* e) override {
    reportKeyDown(m_peer, e);
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      Peer* b = buttonWith(this, key == Qt::Key_Escape ? &Peer::isCancel : &Peer::isDefault);
      if (b) send(b, kEventClick);
    }
  }
  void keyReleaseEvent(QKeyEvent* e) override { reportKeyUp(m_peer, e); }
  void closeEvent(QCloseEvent* e) override {
    // The engine decides: it hides the form when its close logic lets it.
    e->ignore();
    send(m_peer, kEventClose);
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (!m_peer->applying && isVisible()) send(m_peer, kEventResized, {e->size().width(), e->size().height()});
  }
  void moveEvent(QMoveEvent* e) override {
    QWidget::moveEvent(e);
    if (!m_peer->applying && isVisible()) send(m_peer, kEventMoved, {geometry().x(), geometry().y()});
  }
  void changeEvent(QEvent* e) override {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::ActivationChange) send(m_peer, kEventActivate, {isActiveWindow() ? 1 : 0});
  }
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(rect(), palette().color(QPalette::Window));
    // The program's paint handler runs after painting, never inside it.
    Peer* p = m_peer;
    QTimer::singleShot(0, this, [p] { send(p, kEventPaint); });
  }

private:
  Peer* m_peer;
  bool m_pressed = false;
};

class ButtonWidget final : public QPushButton {
public:
  explicit ButtonWidget(Peer* p) : m_peer(p) {
    setMouseTracking(true);
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, [p] { send(p, kEventClick); });
  }

protected:
  void mousePressEvent(QMouseEvent* e) override {
    reportPress(m_peer, e);
    if (!m_peer->moving) QPushButton::mousePressEvent(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (m_peer->moving) {
      m_peer->moving = false;
      releaseMouse();
      send(m_peer, kEventMoved, {x(), y()});
    } else {
      QPushButton::mouseReleaseEvent(e);  // a click is reported before the mouse-up
    }
    reportRelease(m_peer, e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (m_peer->moving && parentWidget()) {
      move(parentWidget()->mapFromGlobal(e->globalPosition().toPoint()) - m_peer->grab);
      return;
    }
    reportMove(m_peer, e);
    QPushButton::mouseMoveEvent(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    reportKeyDown(m_peer, e);
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      // The form's default and cancel buttons, as on the form itself.
      QWidget* form = window();
      Peer* b = buttonWith(form, key == Qt::Key_Escape ? &Peer::isCancel : &Peer::isDefault);
      if (b) send(b, kEventClick);
      return;
    }
    QPushButton::keyPressEvent(e);
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    reportKeyUp(m_peer, e);
    QPushButton::keyReleaseEvent(e);
  }

private:
  Peer* m_peer;
};

Peer* buttonWith(QWidget* form, bool Peer::*flag) {
  for (const auto& p : g_peers)
    if (p->type == otButton && (*p).*flag && p->widget && p->widget->window() == form && p->widget->isVisible() &&
        p->widget->isEnabled())
      return p.get();
  return nullptr;
}

// One posted Qt event per message the engine queued: delivered in order inside any loop.
class Deliverer final : public QObject {
public:
  static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 17);
  bool event(QEvent* e) override {
    if (e->type() != kType) return QObject::event(e);
    send(nullptr, kEventDeliver);
    return true;
  }
};
Deliverer* g_deliverer = nullptr;

Peer* peerOf(TavrinPeer p) { return static_cast<Peer*>(p); }

void applyWindowFlags(Peer* p) {
  QWidget* w = p->widget;
  const bool wasVisible = w->isVisible();
  Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint;
  if (p->borderStyle == 4 || p->borderStyle == 5) f |= Qt::Tool;
  if (p->borderStyle == 0) {
    f |= Qt::FramelessWindowHint;
  } else if (p->captionBar) {
    f |= Qt::WindowTitleHint;
    if (p->borderIcons & 1) f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if ((p->borderIcons & 2) && p->borderStyle != 3) f |= Qt::WindowMinimizeButtonHint;
    if ((p->borderIcons & 4) && p->borderStyle != 3) f |= Qt::WindowMaximizeButtonHint;
    if (p->borderIcons & 8) f |= Qt::WindowContextHelpButtonHint;
  }
  p->applying = true;
  w->setWindowFlags(f);
  if (wasVisible) w->show();
  p->applying = false;
}

void noteOffscreen() {
  if (!g_offscreenFallback || g_offscreenNoted || !g_host) return;
  g_offscreenNoted = true;
  g_host->note(g_host->context,
               "no display (DISPLAY is not set): windows are shown on the offscreen platform, invisible");
}

void showPeer(Peer* p, bool on) {
  QWidget* w = p->widget;
  if (!w) return;
  p->applying = true;
  if (on) {
    if (p->type == otForm) noteOffscreen();
    w->show();
    if (p->type == otForm && QGuiApplication::platformName() != QLatin1String("offscreen")) {
      w->raise();
      w->activateWindow();
    }
  } else {
    w->hide();
    if (p->type == otForm && p->loops.empty()) w->setWindowModality(Qt::NonModal);
  }
  p->applying = false;
}

QImage pictureFrom(const uint8_t* bytes, size_t length) {
  QImage image;
  if (bytes && length) image.loadFromData(bytes, qsizetype(length));
  return image;
}

template <class F>
int32_t guarded(F&& f) {
  try {
    return f();
  } catch (...) {
    return kVisualFailed;
  }
}

}  // namespace

void report(TavrinEvent& e) {
  if (g_host && g_host->event) g_host->event(g_host->context, &e);
}

TavrinPeer createPeer(int32_t type, const char* typeName, int32_t instance) {
  try {
    auto p = std::make_unique<Peer>();
    p->type = type, p->instance = instance;
    if (type == otForm) {
      p->widget = new FormWidget(p.get());
      applyWindowFlags(p.get());
    } else if (type == otButton) {
      p->widget = new ButtonWidget(p.get());
    } else if (type == otTimer) {
      p->timer = new QTimer;
      p->timer->setTimerType(Qt::PreciseTimer);
      Peer* raw = p.get();
      QObject::connect(p->timer, &QTimer::timeout, [raw] { send(raw, kEventTimer); });
    } else {
      return nullptr;
    }
    nameWidget(p->widget ? static_cast<QObject*>(p->widget) : p->timer, typeName ? typeName : "object", type, instance);
    g_peers.push_back(std::move(p));
    return g_peers.back().get();
  } catch (...) {
    return nullptr;
  }
}

int32_t setParent(TavrinPeer peer, TavrinPeer parent) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget || p->type == otForm) return kVisualFailed;
  return guarded([&] {
    Peer* to = peerOf(parent);
    p->widget->setParent(to ? to->widget : nullptr);
    return kVisualOk;
  });
}

int32_t setOwner(TavrinPeer peer, TavrinPeer owner) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget || p->type != otForm) return kVisualFailed;
  return guarded([&] {
    Peer* o = peerOf(owner);
    const bool wasVisible = p->widget->isVisible();
    const QRect g = p->widget->geometry();
    p->applying = true;
    p->widget->setParent(o ? o->widget : nullptr, p->widget->windowFlags() | Qt::Window);
    p->widget->setGeometry(g);
    if (wasVisible) p->widget->show();
    p->applying = false;
    return kVisualOk;
  });
}

int32_t setGeometry(TavrinPeer peer, int32_t x, int32_t y, int32_t width, int32_t height) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget) return kVisualFailed;
  return guarded([&] {
    p->applying = true;
    if (p->type == otForm && (p->borderStyle == 1 || p->borderStyle == 3 || p->borderStyle == 4))
      p->widget->setFixedSize(width, height);
    else if (p->type == otForm)
      p->widget->setMinimumSize(0, 0), p->widget->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    p->widget->setGeometry(x, y, width, height);
    p->applying = false;
    return kVisualOk;
  });
}

int32_t setInt(TavrinPeer peer, int32_t attr, int32_t value) {
  Peer* p = peerOf(peer);
  if (!p) return kVisualFailed;
  return guarded([&]() -> int32_t {
    QWidget* w = p->widget;
    switch (attr) {
      case kAttrInterval:
        p->interval = value;
        if (p->timer) p->timer->setInterval(value > 0 ? value : 0);
        return kVisualOk;
      case kAttrTimerOn:
        p->timerOn = value != 0;
        if (p->timer) {
          if (p->timerOn && p->interval > 0) p->timer->start(p->interval);
          else p->timer->stop();
        }
        return kVisualOk;
      default: break;
    }
    if (!w) return kVisualFailed;
    switch (attr) {
      case kAttrVisible: showPeer(p, value != 0); break;
      case kAttrEnabled: w->setEnabled(value != 0); break;
      case kAttrColor: {
        QPalette pal = w->palette();
        pal.setColor(p->type == otForm ? QPalette::Window : QPalette::Button, colourOf(value));
        w->setPalette(pal);
        w->update();
        break;
      }
      case kAttrCursor:
        switch (value) {
          case -3: w->setCursor(Qt::CrossCursor); break;
          case -4: w->setCursor(Qt::IBeamCursor); break;
          case -11: w->setCursor(Qt::WaitCursor); break;
          case -21: w->setCursor(Qt::PointingHandCursor); break;
          default: w->unsetCursor(); break;
        }
        break;
      case kAttrShowHint:
        p->showHint = value != 0;
        w->setToolTip(p->showHint ? p->hint : QString());
        break;
      case kAttrWindowState:
        if (value == 1) w->setWindowState(Qt::WindowMinimized);
        else if (value == 2) w->setWindowState(Qt::WindowMaximized);
        else w->setWindowState(Qt::WindowNoState);
        break;
      case kAttrBorderStyle:
        p->borderStyle = value;
        applyWindowFlags(p);
        break;
      case kAttrBorderIcons:
        p->borderIcons = value;
        applyWindowFlags(p);
        break;
      case kAttrCaptionBar:
        p->captionBar = value != 0;
        applyWindowFlags(p);
        break;
      case kAttrDefault:
        p->isDefault = value != 0;
        if (auto* b = dynamic_cast<QPushButton*>(w)) b->setDefault(p->isDefault);
        break;
      case kAttrCancel: p->isCancel = value != 0; break;
      case kAttrCenter: break;  // the engine has moved the form already
      case kAttrKeyPreview: break;
      default: return kVisualFailed;
    }
    return kVisualOk;
  });
}

int32_t setText(TavrinPeer peer, int32_t attr, const char* bytes, size_t length) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget) return kVisualFailed;
  return guarded([&]() -> int32_t {
    const QString text = fromProgram(bytes ? bytes : "", bytes ? length : 0);
    switch (attr) {
      case kTextCaption:
        if (p->type == otForm) p->widget->setWindowTitle(text);
        else if (auto* b = dynamic_cast<QPushButton*>(p->widget)) b->setText(text);
        return kVisualOk;
      case kTextHint:
        p->hint = text;
        p->widget->setToolTip(p->showHint ? text : QString());
        return kVisualOk;
      default: return kVisualFailed;
    }
  });
}

int32_t setPicture(TavrinPeer peer, int32_t attr, const uint8_t* bytes, size_t length) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget) return kVisualFailed;
  return guarded([&]() -> int32_t {
    const QImage image = pictureFrom(bytes, length);
    if (length && image.isNull()) return kVisualFailed;  // not a picture Qt can read
    const QIcon icon = image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
    if (attr == kPictureIcon && p->type == otForm) {
      p->widget->setWindowIcon(icon);
      return kVisualOk;
    }
    if (attr == kPictureGlyph) {
      if (auto* b = dynamic_cast<QPushButton*>(p->widget)) {
        b->setIcon(icon);
        if (!image.isNull()) b->setIconSize(image.size());
        return kVisualOk;
      }
    }
    return kVisualFailed;
  });
}

int32_t runModal(TavrinPeer peer) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget || p->type != otForm) return kVisualFailed;
  return guarded([&] {
    if (p->endPending) {
      p->endPending = false;
      return kVisualOk;
    }
    QWidget* w = p->widget;
    if (w->windowModality() != Qt::ApplicationModal) {
      // Modality takes effect when the window is shown again.
      p->applying = true;
      const bool wasVisible = w->isVisible();
      if (wasVisible) w->hide();
      w->setWindowModality(Qt::ApplicationModal);
      p->applying = false;
    }
    showPeer(p, true);
    QEventLoop loop;
    // The engine's other sources (socket notifications) are looked at while the loop idles.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [] { send(nullptr, kEventPoll); });
    poll.start();
    p->loops.push_back(&loop);
    loop.exec(QEventLoop::AllEvents);
    p->loops.pop_back();
    p->endPending = false;
    return kVisualOk;
  });
}

int32_t endModal(TavrinPeer peer) {
  Peer* p = peerOf(peer);
  if (!p || p->type != otForm) return kVisualFailed;
  if (p->loops.empty()) p->endPending = true;
  else p->loops.back()->exit(0);
  return kVisualOk;
}

int32_t moveByMouse(TavrinPeer peer) {
  Peer* p = peerOf(peer);
  if (!p || !p->widget || p->type != otButton) return kVisualFailed;
  return guarded([&] {
    p->moving = true;
    p->grab = p->widget->mapFromGlobal(QCursor::pos());
    p->widget->grabMouse();
    return kVisualOk;
  });
}

int32_t wake() {
  return guarded([] {
    if (!g_deliverer) g_deliverer = new Deliverer;
    QCoreApplication::postEvent(g_deliverer, new QEvent(Deliverer::kType));
    return kVisualOk;
  });
}

int32_t cursorPos(int32_t* x, int32_t* y) {
  return guarded([&] {
    const QPoint at = QCursor::pos();
    if (x) *x = at.x();
    if (y) *y = at.y();
    return kVisualOk;
  });
}

void destroyPeers() {
  for (const auto& p : g_peers)
    for (QEventLoop* loop : p->loops) loop->exit(0);
  // Controls leave their forms first, so that each widget is deleted once.
  for (const auto& p : g_peers)
    if (p->widget && p->type != otForm) p->widget->setParent(nullptr);
  for (const auto& p : g_peers) {
    if (!p->loops.empty()) {
      // A loop still on the stack owns a reference to the widget: delete it later.
      if (p->widget) p->widget->deleteLater();
      continue;
    }
    delete p->widget;
    delete p->timer;
  }
  g_peers.clear();
  delete g_deliverer;
  g_deliverer = nullptr;
  g_offscreenNoted = false;
}

}  // namespace tavrin32
