// Shared helpers of the HTTP client tests: a recorder of a client's work and status
// events. Clients are configured as the program's with ConfigureHttpClient.
#pragma once

#include <string>
#include <vector>

#include "job/ComponentSettings.h"
#include "http/NetHTTP.h"
#include "runtime/MemoryStream.h"

// Records read work as "B<max>" per OnWorkBegin and "E<last OnWork count>" per
// OnWorkEnd (independent of how the bytes were split on the wire), and status texts.
struct EventLog {
  std::string Work;
  std::vector<std::string> Status;
  int32_t LastCount = 0;

  void Attach(TNetHTTP& http) {
    http.OnWorkBegin = [this](TObject*, TWorkMode mode, int32_t max) {
      if (mode != wmRead) return;
      LastCount = 0;
      Work += (Work.empty() ? "B" : " B") + std::to_string(max);
    };
    http.OnWork = [this](TObject*, TWorkMode mode, int32_t count) {
      if (mode == wmRead) LastCount = count;
    };
    http.OnWorkEnd = [this](TObject*, TWorkMode mode) {
      if (mode == wmRead) Work += " E" + std::to_string(LastCount);
    };
    http.OnStatus = [this](TObject*, TNetStatus status, const AnsiString& text) {
      if (status == hsStatusText) Status.push_back(text);
    };
  }
};

inline std::string StreamText(TMemoryStream& s) {
  return s.Size() ? std::string(s.Memory(), static_cast<size_t>(s.Size())) : std::string();
}

inline std::string CatalogueRequest(uint16_t port, const std::string& extraLines = "") {
  return "GET /TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini HTTP/1.1\r\n"
         "Content-Type: text/html\r\n"
         "Host: 127.0.0.1:" + std::to_string(port) + "\r\n"
         "Accept: text/html, */*\r\n"
         "User-Agent: Mozilla/3.0 (compatible; Tavro Net Library)\r\n" + extraLines + "\r\n";
}
