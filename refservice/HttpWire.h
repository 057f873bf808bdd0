#pragma once

#include <winsock2.h>

#include <string>

// The pieces of HTTP on 127.0.0.1 that the servers of this folder share.
namespace http_wire {

// A socket listening on 127.0.0.1 at the wanted port (0: a free one), or INVALID_SOCKET;
// `port` tells which. reuseAddress: the port may be taken again while connections to it from
// before linger.
SOCKET ListenOnLoopback(unsigned short wanted, bool reuseAddress, unsigned short& port);
// A request's head up to its blank line (at most 16 KB, five seconds a read); false when the
// client sent nothing more before it did.
bool ReadRequestHead(SOCKET client, std::string& request);
// The target of a "GET target HTTP/1.x" request line; empty for any other request.
std::string GetTarget(const std::string& request);
// The status line and headers of an answer that closes the connection.
std::string AnswerHead(int status, const std::string& contentType, size_t length);
// False when the client went away first.
bool SendAll(SOCKET client, const char* data, size_t size);

} // namespace http_wire
