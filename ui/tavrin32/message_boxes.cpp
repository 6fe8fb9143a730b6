// The message box of the platform on Qt: the button set, default and Escape button the
// engine chose, in the engine's order, with the platform's results. A box without an Escape
// button cannot be closed by Escape or the window's close button; Help does not close it.
#include "ui/tavrin32/message_boxes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include <vector>

namespace tavrin::visual {
namespace {

// Windows-1252 at 0x80..0x9F; the rest of the code page is Latin-1. Unassigned bytes keep
// their C1 code.
constexpr char16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QMessageBox::ButtonRole roleOf(int32_t result) {
  switch (result) {
    case 0: return QMessageBox::HelpRole;
    case 2: case 3: return QMessageBox::RejectRole;  // Cancel, Abort
    case 6: case 8: return QMessageBox::YesRole;     // Yes, All
    case 7: return QMessageBox::NoRole;
    default: return QMessageBox::AcceptRole;         // OK, Retry, Ignore, Try Again, Continue
  }
}

// Keeps a box without an Escape button open against Escape and the close button.
class NoEscape : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) return true;
    if (event->type() == QEvent::Close) {
      event->ignore();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

QString fromAnsi(const char* text) {
  QString out;
  if (!text) return out;
  for (const char* p = text; *p; ++p) {
    auto byte = static_cast<unsigned char>(*p);
    out += byte >= 0x80 && byte < 0xA0 ? QChar(kAnsiHigh[byte - 0x80]) : QChar(byte);
  }
  return out;
}

int32_t runMessageBox(const TavrinMessageBox& box) {
  static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Question, QMessageBox::Warning,
                                                 QMessageBox::Information, QMessageBox::Critical};
  QMessageBox dialog(box.icon >= 0 && box.icon < 5 ? kIcons[box.icon] : QMessageBox::NoIcon, fromAnsi(box.caption),
                     fromAnsi(box.text), QMessageBox::NoButton, QApplication::activeWindow());
  dialog.setObjectName(QStringLiteral("tavrinMessageBox"));
  dialog.setTextFormat(Qt::PlainText);
  std::vector<QPushButton*> buttons;
  for (int32_t i = 0; i < box.buttonCount; ++i) {
    QPushButton* b = dialog.addButton(fromAnsi(box.buttons[i].label), roleOf(box.buttons[i].result));
    b->setProperty("tavrinResult", box.buttons[i].result);
    buttons.push_back(b);
  }
  if (box.defaultIndex >= 0 && box.defaultIndex < box.buttonCount) dialog.setDefaultButton(buttons[size_t(box.defaultIndex)]);
  NoEscape keepOpen;
  if (box.escapeIndex >= 0 && box.escapeIndex < box.buttonCount) dialog.setEscapeButton(buttons[size_t(box.escapeIndex)]);
  else dialog.installEventFilter(&keepOpen);
  for (;;) {
    dialog.exec();
    QAbstractButton* clicked = dialog.clickedButton();
    if (!clicked) return box.closeResult;
    int32_t result = clicked->property("tavrinResult").toInt();
    if (result != 0) return result;  // Help leaves the box open
  }
}

}  // namespace tavrin::visual

#include "message_boxes.moc"
