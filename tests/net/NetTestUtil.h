// Shared pieces of the transport tests: a work-event recorder and a fixture with a
// scripted loopback server and a client aimed at it.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "net/NetIOHandlerSocket.h"
#include "net/NetTCPClient.h"
#include "runtime/MemoryStream.h"
#include "support/ScriptedServer.h"

struct WorkLog {
  std::vector<std::string> events;
  std::vector<int64_t> counts;  // the OnWork counts alone
  void Attach(TNetComponent& c) {
    c.OnWorkBegin = [this](TObject*, TWorkMode m, int32_t max) { Add("begin", m, max); };
    c.OnWork = [this](TObject*, TWorkMode m, int32_t count) {
      Add("work", m, count);
      counts.push_back(count);
    };
    c.OnWorkEnd = [this](TObject*, TWorkMode m) { Add("end", m, -1); };
  }
  void Add(const char* what, TWorkMode m, int64_t n) {
    events.push_back(std::string(what) + (m == wmRead ? " r" : " w") + (n >= 0 ? " " + std::to_string(n) : ""));
  }
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server.Start();
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
  }
  void TearDown() override {
    // Handlers set by a test may refer to its locals, which are gone by now.
    client.OnStatus = nullptr;
    client.OnDisconnected = nullptr;
    client.OnWorkBegin = nullptr;
    client.OnWork = nullptr;
    client.OnWorkEnd = nullptr;
    client.CloseConnection();
    server.Stop();
    EXPECT_TRUE(server.Errors().empty()) << server.Errors().front();
  }
  // count bytes of the server's pattern from offset.
  static std::string Pattern(uint64_t offset, size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i) bytes[i] = ConnectionScript::PatternByte(offset + i);
    return bytes;
  }

  ScriptedServer server;
  TNetTCPClient client;
};

// A stream that is not a memory stream, so reads take the general path.
class StringStream : public TStream {
 public:
  std::string data;
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, static_cast<int64_t>(data.size()) - pos_));
    if (n > 0) std::memcpy(buffer, data.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    if (pos_ + count > static_cast<int64_t>(data.size())) data.resize(static_cast<size_t>(pos_ + count));
    std::memcpy(data.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ += count;
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    pos_ = origin == soBeginning ? offset : origin == soCurrent ? pos_ + offset : Size() + offset;
    return pos_;
  }
  int64_t Size() override { return static_cast<int64_t>(data.size()); }
  void SetSize(int64_t size) override { data.resize(static_cast<size_t>(size)); }

 private:
  int64_t pos_ = 0;
};

// The content of either kind of stream.
inline std::string Content(TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.Size()), '\0');
  const int64_t pos = stream.Position();
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), stream.Size());
  stream.SetPosition(pos);
  return bytes;
}

// The process's open descriptors, to show that a failed connect leaves none behind.
inline int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir)) ++count;
    ::closedir(dir);
  }
  return count;
}

// Records the address of every connect attempt of client, in order, from its
// "Connecting to <address>." statuses.
inline void RecordAttempts(TNetTCPClient& client, std::vector<std::string>& tried) {
  client.OnStatus = [&tried](TObject*, TNetStatus status, const AnsiString& text) {
    if (status == hsConnecting) tried.push_back(text.substr(14, text.size() - 15));
  };
}

// The address the connected client's socket is connected to.
inline std::string UsedAddress(const TNetTCPClient& client) {
  return static_cast<TNetIOHandlerSocket*>(client.IOHandler())->SocketHandle()->RemoteAddress();
}
