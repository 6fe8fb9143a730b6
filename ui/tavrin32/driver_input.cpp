// Input events of the driver, through QApplication (to the component) or through the window
// system's entry that Qt's platform plugins feed (QtTest's window functions).
#include "ui/tavrin32/driver_input.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace tavrin::drive {

void sendMouse(QWidget* widget, MouseAction action, QPoint point, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers, bool platform) {
  if (!widget) return;
  if (platform) {
    QWidget* top = widget->window();
    QWindow* window = top->windowHandle();
    if (window) {
      QPoint at = window->mapFromGlobal(widget->mapToGlobal(point));
      switch (action) {
        case MouseAction::Press: QTest::mousePress(window, button, modifiers, at); return;
        case MouseAction::Release: QTest::mouseRelease(window, button, modifiers, at); return;
        case MouseAction::DoubleClick: QTest::mouseDClick(window, button, modifiers, at); return;
        case MouseAction::Move: QTest::mouseMove(window, at); return;
      }
    }
  }
  static constexpr QEvent::Type kTypes[] = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                            QEvent::MouseButtonDblClick, QEvent::MouseMove};
  const QPointF local(point);
  const QPointF global(widget->mapToGlobal(point));
  QMouseEvent event(kTypes[int(action)], local, widget->window()->mapFromGlobal(global), global,
                    action == MouseAction::Move ? Qt::NoButton : button, buttons, modifiers);
  QApplication::sendEvent(widget, &event);
}

void sendKey(QWidget* widget, int key, const QString& text, Qt::KeyboardModifiers modifiers, bool platform) {
  if (!widget) return;
  if (platform) {
    if (QWindow* window = widget->window()->windowHandle()) {
      QPointer<QWidget> guard(widget);
      widget->setFocus(Qt::OtherFocusReason);
      QTest::sendKeyEvent(QTest::Press, window, Qt::Key(key), text, modifiers);
      if (guard) QTest::sendKeyEvent(QTest::Release, window, Qt::Key(key), text, modifiers);
      return;
    }
  }
  QPointer<QWidget> guard(widget);
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(widget, &press);
  if (!guard) return;
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(widget, &release);
}

void clickButton(QAbstractButton* button, bool platform) {
  QPointer<QAbstractButton> guard(button);
  QPoint centre = button->rect().center();
  sendMouse(button, MouseAction::Press, centre, Qt::LeftButton, Qt::LeftButton, {}, platform);
  if (guard) sendMouse(button, MouseAction::Release, centre, Qt::LeftButton, {}, {}, platform);
}

}  // namespace tavrin::drive
