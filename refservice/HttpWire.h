#pragma once

#include <winsock2.h>

#include <string>

// The pieces of HTTP on 127.0.0.1 that the servers of this folder share.
namespace http_wire {

// How long a client may take to send its whole request head, and to take any further part of
// an answer, unless a server says otherwise.
const DWORD kHeadDeadlineMs = 10000;
const DWORD kSendIdleMs = 10000;

enum class Head {
    Complete, // up to its blank line, or the first 16 KB of a longer one
    TimedOut, // the deadline passed first
    Closed    // the client closed the connection, or it failed, first
};

// A socket listening on 127.0.0.1 at the wanted port (0: a free one), or INVALID_SOCKET;
// `port` tells which. reuseAddress: the port may be taken again while connections to it from
// before linger.
SOCKET ListenOnLoopback(unsigned short wanted, bool reuseAddress, unsigned short& port);
// A request's head up to its blank line, whose lines may end in CRLF or in LF alone; all of it
// within deadlineMs from now, however the client spreads it.
Head ReadRequestHead(SOCKET client, std::string& request, DWORD deadlineMs = kHeadDeadlineMs);
// The target of a "GET target HTTP/1.x" request line; empty for any other request.
std::string GetTarget(const std::string& request);
// The value of a header of the request head, its name compared without case; empty when
// there is none.
std::string HeaderValue(const std::string& request, const std::string& name);
// The status line and headers of an answer that closes the connection.
std::string AnswerHead(int status, const std::string& contentType, size_t length);
// False when the client went away first, or took none of the rest for idleMs.
bool SendAll(SOCKET client, const char* data, size_t size, DWORD idleMs = kSendIdleMs);

} // namespace http_wire
