// The peer of first_frame.tasm: a minimal Qt Widgets program that shows one window and
// ends once its first frame is painted.
#include <QApplication>
#include <QPaintEvent>
#include <QWidget>

#include <unistd.h>

namespace {

class Window final : public QWidget {
 protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    // Qt hands the frame over once the paint returns: end at the next turn of the loop.
    QMetaObject::invokeMethod(qApp, [] { _exit(0); }, Qt::QueuedConnection);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Window window;
  window.setWindowTitle(QStringLiteral("First frame"));
  window.show();
  return app.exec();
}
