// What the window's memory comparison (bench/compare-window.sh) measures on both sides:
// once every web view of the process shows its page, the proportional set size of the
// process and all of its descendants (the web engine's zygote, renderers and GPU
// process), and how many renderer processes the views use.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

// The parent of a process, from /proc/PID/stat (the name may hold blanks and ")").
inline pid_t ParentOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 4 >= stat.size()) return 0;
  return static_cast<pid_t>(std::atol(stat.c_str() + close + 4));  // ") S PPID"
}

inline double PssKib(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Pss:", 0) == 0) return std::atof(line.c_str() + 4);
  return 0;
}

// PSS of root and every process below it, in MiB.
inline double TreePssMiB(pid_t root) {
  std::multimap<pid_t, pid_t> children;
  if (DIR* dir = ::opendir("/proc")) {
    while (dirent* e = ::readdir(dir)) {
      const pid_t pid = static_cast<pid_t>(std::atol(e->d_name));
      if (pid > 0) children.emplace(ParentOf(pid), pid);
    }
    ::closedir(dir);
  }
  double kib = 0;
  std::vector<pid_t> todo{root};
  while (!todo.empty()) {
    const pid_t pid = todo.back();
    todo.pop_back();
    kib += PssKib(pid);
    auto [from, to] = children.equal_range(pid);
    for (auto it = from; it != to; ++it) todo.push_back(it->second);
  }
  return kib / 1024;
}

// Polls until every web view of the application shows its page (or timeoutMs passes),
// lets the engine settle for a second, prints "pss_mib M renderers N views V" and the
// pages shown ("url U", in the order of their holders' object names), then calls done.
// With VIEW_MEMORY_HOLD set, done comes 4 s later: time to look at each process's maps.
inline void ReportMemoryWhenShown(std::function<void()> done, int timeoutMs = 20000) {
  auto* poll = new QTimer(qApp);
  auto waited = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, waited, timeoutMs, done] {
    std::set<qint64> renderers;
    std::map<QString, QString> urls;
    bool shown = true;
    for (QWidget* w : QApplication::allWidgets()) {
      auto* view = qobject_cast<QWebEngineView*>(w);
      if (!view) continue;
      shown = shown && !view->url().isEmpty() && !view->page()->isLoading() && view->page()->renderProcessPid() > 0;
      renderers.insert(view->page()->renderProcessPid());
      const QString holder = view->parentWidget() ? view->parentWidget()->objectName() : QString();
      urls[holder + QString::number(urls.size())] = view->url().toString();
    }
    if ((*waited += poll->interval()) < timeoutMs && !(shown && !urls.empty())) return;
    poll->stop();
    QTimer::singleShot(1000, [renderers, urls, done] {
      std::printf("pss_mib %.1f renderers %zu views %zu", TreePssMiB(::getpid()), renderers.size(), urls.size());
      for (const auto& [holder, url] : urls) std::printf(" url %s", url.toUtf8().constData());
      std::printf("\n");
      std::fflush(stdout);
      if (getenv("VIEW_MEMORY_HOLD")) { QTimer::singleShot(4000, done); return; }
      done();
    });
  });
  poll->start(100);
}

}  // namespace bench
