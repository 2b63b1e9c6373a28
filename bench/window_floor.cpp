// The floor of the main window's memory for bench/compare-window.sh: a bare Qt window
// with two web views showing the two given pages, with everything of the web engine at
// its defaults (its process model included) and nothing of the program. Prints the
// figures of bench/ViewMemory.h once both pages are shown.
//
//   window_floor URL1 URL2
#include <QHBoxLayout>
#include <QUrl>
#include <QWidget>

#include "ViewMemory.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_floor URL1 URL2\n");
    return 2;
  }
  // As the program: the engine refuses to start as root with its sandbox.
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QWidget window;
  auto* layout = new QHBoxLayout(&window);
  for (const char* url : {argv[1], argv[2]}) {
    auto* view = new QWebEngineView(&window);
    layout->addWidget(view);
    view->setUrl(QUrl(QString::fromUtf8(url)));
  }
  window.resize(700, 460);  // about the main window's size
  window.show();
  bench::ReportMemoryWhenShown([] { QCoreApplication::exit(0); });
  return QApplication::exec();
}
