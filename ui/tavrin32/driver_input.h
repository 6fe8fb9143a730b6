// The driver's input events: sent to the component itself (the default), or handed to the
// window system as a platform's input would arrive (`input platform`), where the window
// under the point and the focus decide who receives them.
#pragma once
#include <QPoint>
#include <QString>
#include <Qt>

class QAbstractButton;
class QWidget;

namespace tavrin::drive {

enum class MouseAction { Press, Release, DoubleClick, Move };

// `point` is in the widget's coordinates; `buttons` the state after the event.
void sendMouse(QWidget* widget, MouseAction action, QPoint point, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers, bool platform);
// A key press and its release; `text` is what the key types (may be empty).
void sendKey(QWidget* widget, int key, const QString& text, Qt::KeyboardModifiers modifiers, bool platform);
// A left click in the middle of the button.
void clickButton(QAbstractButton* button, bool platform);

}  // namespace tavrin::drive
