// Tavro MP3 LiveUpdate: the program entry.
#include <QCoreApplication>
#include <cstdlib>
#include <unistd.h>

#include "app/AppSettings.h"
#include "app/Main01.h"
#include "platform/NamedMutex.h"
#include "toolkit/Application.h"

int main(int argc, char** argv) {
  // The browser engine refuses to start as root without this, and reads it only once,
  // before the application object exists.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  TApplication application(argc, argv);

  // The single-instance guard runs before the program entry's first step; the mutex is
  // closed last, when the process ends.
  TNamedMutex instanceMutex(kInstanceMutexName);
  if (SecondInstance(instanceMutex)) return 0;
  RunProgram(TAppSettings::Default());
  return 0;
}
