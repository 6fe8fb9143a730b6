// The windowed layer's entry: starts Qt's application object for the engine, handles its
// pending events and ends it. Everything here runs behind the exception-free boundary of
// ui/visual_host.h: each entry catches what Qt or the C++ library may throw and returns a
// status instead.
#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/tavrin32/driver.h"
#include "ui/tavrin32/message_boxes.h"
#include "ui/tavrin32/layer.h"
#include "ui/visual_host.h"

namespace {

using tavrin32::g_host;
QApplication* g_app = nullptr;
tavrin::drive::Driver* g_driver = nullptr;
// QApplication keeps references to these for its whole life.
int g_argc = 1;
char g_programName[] = "tavrin";
char* g_argv[] = {g_programName, nullptr};

void copyError(char* error, size_t size, const std::string& text) {
  if (!error || size == 0) return;
  std::snprintf(error, size, "%s", text.c_str());
}

// Qt's own warnings go to the engine, which writes them as the run's diagnostics.
// One warning is left out: Qt makes its own runtime directory when XDG_RUNTIME_DIR is not
// set (a server, a CI job), which changes nothing for the program.
void forwardMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  // The offscreen platform says this of every dialog it shows; it changes nothing.
  if (text.contains(QLatin1String("does not support propagateSizeHints"))) return;
  if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  if (g_host && g_host->note) g_host->note(g_host->context, ("Qt: " + text.toUtf8()).constData());
}

// Qt ends the process (qFatal) when its platform cannot start, so what it will need is
// checked first: the platform plugin's file and, for the windowing systems, a display.
bool platformUsable(std::string& why) {
  QByteArray asked = qgetenv("QT_QPA_PLATFORM");
  QString name = QString::fromLocal8Bit(asked).section(QLatin1Char(':'), 0, 0).section(QLatin1Char(';'), 0, 0);
  if (name.isEmpty()) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
      // No display: the windows go to the offscreen platform (the first form shown says so),
      // so programs that only use timers, sockets or posted messages still run on a server.
      qputenv("QT_QPA_PLATFORM", "offscreen");
      tavrin32::g_offscreenFallback = true;
      name = QStringLiteral("offscreen");
    } else {
      return true;  // Qt's default platform for the display that is set
    }
  }
  if (name == QLatin1String("xcb") && qEnvironmentVariableIsEmpty("DISPLAY")) {
    why = "QT_QPA_PLATFORM is xcb but DISPLAY is not set";
    return false;
  }
  QStringList directories{QLibraryInfo::path(QLibraryInfo::PluginsPath)};
  for (const QString& d : qEnvironmentVariable("QT_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
    directories << d;
  for (const QString& d : directories)
    if (QFileInfo::exists(d + QLatin1String("/platforms/libq") + name + QLatin1String(".so"))) return true;
  why = "Qt has no platform plugin \"" + name.toStdString() + "\" (looked in " +
        directories.join(QLatin1String(", ")).toStdString() + ")";
  return false;
}

int32_t processEvents() {
  if (!g_app) return kVisualFailed;
  try {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return kVisualOk;
  } catch (...) {
    return kVisualFailed;
  }
}

int32_t messageBox(const TavrinMessageBox* box) {
  if (!g_app || !box) return -1;
  try {
    return tavrin::visual::runMessageBox(*box);
  } catch (...) {
    return -1;
  }
}

void note(const QString& line) {
  if (g_host && g_host->note) g_host->note(g_host->context, line.toUtf8().constData());
}

// The driver of a run with a script: read and checked before the program's first window.
bool startDriver(const char* path, std::string& why) {
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::ReadOnly)) {
    why = "cannot read the drive script " + std::string(path) + ": " + file.errorString().toStdString();
    return false;
  }
  std::vector<tavrin::drive::Step> steps;
  QString error;
  if (!tavrin::drive::parseScript(file.readAll(), steps, error)) {
    why = "drive " + std::string(path) + ":" + error.toStdString();
    return false;
  }
  const TavrinVisualHost* host = g_host;
  tavrin::drive::Driver::Hooks hooks{&note, [host](int status) { host->exitRun(host->context, status); }};
  g_driver = new tavrin::drive::Driver(QString::fromLocal8Bit(path), std::move(steps), std::move(hooks));
  g_driver->start();
  return true;
}

// The same look on every machine: the Fusion style, its own palette and a pinned font
// (Liberation Sans, metric-compatible with the framework's default; 8 points at 96 DPI).
void fixLook() {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(fusion);
    QApplication::setPalette(fusion->standardPalette());
  }
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(11);
  font.setKerning(false);
  font.setStyleStrategy(QFont::NoAntialias);
  QApplication::setFont(font);
}

int32_t finishDrive() {
  try {
    return g_driver && g_driver->finish() ? kVisualDriveLeft : kVisualOk;
  } catch (...) {
    return kVisualFailed;
  }
}

int32_t shutdown() {
  if (!g_app) return kVisualOk;
  int32_t status = kVisualOk;
  try {
    if (g_driver && g_driver->finish()) status = kVisualDriveLeft;
    delete g_driver;
    g_driver = nullptr;
    g_host = nullptr;  // nothing more is reported while the windows go
    tavrin32::destroyPeers();
    QApplication::closeAllWindows();
    delete g_app;
    g_app = nullptr;
    qInstallMessageHandler(nullptr);
    g_host = nullptr;
    return status;
  } catch (...) {
    g_app = nullptr;
    g_driver = nullptr;
    return kVisualFailed;
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t tavrinVisualStart(const TavrinVisualHost* host,
                                                                             TavrinVisualLayer* layer,
                                                                             char* error, size_t errorSize) {
  try {
    if (!host || !layer || host->abi != TAVRIN_VISUAL_ABI || host->size < sizeof(TavrinVisualHost)) {
      copyError(error, errorSize, "the engine's host table is of another version");
      return kVisualWrongVersion;
    }
    if (!g_app) {
      std::string why;
      if (!platformUsable(why)) {
        copyError(error, errorSize, why);
        return kVisualNoDisplay;
      }
      g_host = host;
      qInstallMessageHandler(forwardMessage);
      g_app = new QApplication(g_argc, g_argv);
      QApplication::setQuitOnLastWindowClosed(false);  // closing a form never ends the program
      fixLook();
      // Qt takes the user's locale; the engine formats and reads numbers itself, and the C
      // library's number functions must keep the point.
      std::setlocale(LC_NUMERIC, "C");
      if (host->driveScript) {
        std::string why;
        if (!startDriver(host->driveScript, why)) {
          copyError(error, errorSize, why);
          shutdown();
          return kVisualFailed;
        }
      }
    }
    g_host = host;
    TavrinVisualLayer l{};
    l.abi = TAVRIN_VISUAL_ABI;
    l.size = uint32_t(sizeof(TavrinVisualLayer));
    l.qtVersion = qVersion();
    l.processEvents = &processEvents;
    l.shutdown = &shutdown;
    l.createPeer = &tavrin32::createPeer;
    l.setParent = &tavrin32::setParent;
    l.setOwner = &tavrin32::setOwner;
    l.setGeometry = &tavrin32::setGeometry;
    l.setInt = &tavrin32::setInt;
    l.setText = &tavrin32::setText;
    l.setPicture = &tavrin32::setPicture;
    l.runModal = &tavrin32::runModal;
    l.endModal = &tavrin32::endModal;
    l.moveByMouse = &tavrin32::moveByMouse;
    l.wake = &tavrin32::wake;
    l.cursorPos = &tavrin32::cursorPos;
    l.messageBox = &messageBox;
    l.finishDrive = &finishDrive;
    *layer = l;
    return kVisualOk;
  } catch (const std::exception& e) {
    copyError(error, errorSize, e.what());
  } catch (...) {
    copyError(error, errorSize, "Qt failed to start");
  }
  return kVisualFailed;
}
