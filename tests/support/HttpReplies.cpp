#include "support/HttpReplies.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>

std::string HttpReply(const std::string& body, const std::string& status) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string HttpHead(uint64_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\nConnection: close\r\nContent-Length: " +
         std::to_string(length) + "\r\n\r\n";
}

std::string CloseDelimitedReply(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
}

std::string ChunkedReply(const std::string& body, size_t chunk) {
  std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  for (size_t at = 0; at < body.size(); at += chunk) {
    char size[24];
    snprintf(size, sizeof size, "%zx\r\n", std::min(chunk, body.size() - at));
    reply += size + body.substr(at, chunk) + "\r\n";
  }
  return reply + "0\r\n\r\n";
}

std::string ReadRequestHead(int fd) {
  std::string head;
  char c = 0;
  while (head.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1) head += c;
  return head;
}
