#include "net/NetStack.h"

#include "net/NetException.h"
#include "net/NetStackPosix.h"
#include "platform/WinSock2.h"

TNetStack* GlobalStack = nullptr;
TNetStackClass StackClass = [] { return static_cast<TNetStack*>(new TNetStackPosix()); };
int32_t StackUsers = 0;

namespace {
thread_local int32_t tLastErrorCode = 0;

struct ErrorRow {
  int32_t code;
  const char* text;
};
const ErrorRow kErrorTable[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
};

}  // namespace

std::mutex& StackLock() {
  static std::mutex lock;
  return lock;
}

TNetStack* CreateDefaultStack() { return StackClass(); }

void AddStackUser() {
  std::lock_guard<std::mutex> lock(StackLock());
  if (StackUsers == 0) GlobalStack = CreateDefaultStack();
  ++StackUsers;
}

void RemoveStackUser() {
  std::lock_guard<std::mutex> lock(StackLock());
  if (--StackUsers == 0) {
    delete GlobalStack;
    GlobalStack = nullptr;
  }
}

TNetStack::TNetStack() = default;
TNetStack::~TNetStack() = default;

int32_t TNetStack::LastErrorCode() { return tLastErrorCode; }
void TNetStack::SetLastErrorCode(int32_t code) { tLastErrorCode = code; }

std::vector<TNetIPAddress> TNetStack::HostToAddresses(const AnsiString& host) {
  const AnsiString bare = StripBrackets(host);
  if (IsDottedQuad(bare)) return {TNetIPAddress{kAFInet, bare}};
  if (IsIPv6Address(bare)) return {TNetIPAddress{kAFInet6, bare}};
  if (SameText(bare, "LOCALHOST")) {
    try {
      return getaddrinfo(bare);
    } catch (const ENetSocketError&) {
      return {TNetIPAddress{kAFInet, "127.0.0.1"}};
    }
  }
  return getaddrinfo(bare);
}

AnsiString TNetStack::HostToAddress(const AnsiString& host) { return HostToAddresses(host).front().Text; }

bool TNetStack::IsIPv6Address(const AnsiString& text) {
  WinSock::SockAddr address;
  return text.find(':') != AnsiString::npos && WinSock::inet_pton(WinSock::kFamilyIPv6, text, &address) == 1;
}

bool TNetStack::IsIPAddress(const AnsiString& text) { return IsDottedQuad(text) || IsIPv6Address(text); }

AnsiString TNetStack::StripBrackets(const AnsiString& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

AnsiString TNetStack::BracketHost(const AnsiString& host) {
  return host.find(':') != AnsiString::npos && host.front() != '[' ? "[" + host + "]" : host;
}

AnsiString TNetStack::FormatHostPort(const AnsiString& host, int32_t port) {
  return BracketHost(host) + ":" + IntToStr(port);
}

bool TNetStack::IsDottedQuad(const AnsiString& text, bool prefixOnly) {
  size_t i = 0;
  for (int field = 0; field < 4; ++field) {
    if (field > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    size_t digits = 0;
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits <= 3; ++i, ++digits)
      value = value * 10 + (text[i] - '0');
    if (digits == 0 || digits > 3 || value > 255) return false;
  }
  return prefixOnly || i == text.size();
}

TNetSocket TNetStack::AllocateSocketOrFail(int type, int protocol, int family) {
  const TNetSocket s = socket(family, type, protocol);
  if (s == -1) throw ENetInvalidSocket();
  return s;
}

bool TNetStack::CheckResult(int result, const std::vector<int32_t>& tolerated) {
  if (result != -1) return false;
  tLastErrorCode = WSAGetLastError();
  for (int32_t code : tolerated) {
    if (code == tLastErrorCode) return true;
  }
  ThrowSocketError(tLastErrorCode);
}

void TNetStack::ThrowSocketError(int32_t code) { throw ENetSocketError(code, SocketErrorText(code)); }

AnsiString TNetStack::SocketErrorDescription(int32_t code) {
  for (const auto& row : kErrorTable) {
    if (row.code == code) return row.text;
  }
  return AnsiString();
}

AnsiString TNetStack::SocketErrorText(int32_t code) {
  return Format(NetText::SocketError, static_cast<int>(code), SocketErrorDescription(code).c_str());
}
