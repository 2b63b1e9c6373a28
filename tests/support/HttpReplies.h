// HTTP answers for the scripted servers, and the request heads they read.
#pragma once

#include <cstdint>
#include <string>

// An HTTP answer with a body and its Content-Length.
std::string HttpReply(const std::string& body, const std::string& status = "200 OK");
// The head of a 200 answer that declares the length; the body follows separately.
std::string HttpHead(uint64_t length);
// A 200 answer that sends the body in chunks of the given size ("Transfer-Encoding: chunked").
std::string ChunkedReply(const std::string& body, size_t chunk);
// A 200 answer that declares no length and ends when the server closes the connection.
std::string CloseDelimitedReply(const std::string& body);
// Reads a request head from the socket, up to and including its blank line (less when the
// peer closes first).
std::string ReadRequestHead(int fd);
