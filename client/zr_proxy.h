// The client's side of the proxy of the host server (ZorvanProxy, declared
// in api/zpi50_client.h): the time limits of its connections.
//
// The members that send particular requests live in the request sources of
// client/; any of them builds its text with ZrRequestText and sends it with
// SendRequest (client/zr_framing.h).
//
// Time limits. Every request's whole reply must arrive within the reply
// time limit, connecting again included when the connection had closed:
// the environment variable ZORVAN_REPLY_TIMEOUT, read once per process at
// start-up: a positive number of seconds (fractions allowed, blanks around
// it ignored); above 1000000 it is 1000000, and when it is unset or not
// such a number the limit is 300 seconds. A set value that is not taken as
// it stands is told in one line on standard error. Once the first byte of a reply has
// come, the rest must also come within 60 seconds, whichever ends first. A
// request that runs out of time answers 100 and its connection is closed.
// The same limits bound the client's reads and writes of "bnfs:" documents
// of the host and the liveness probe.
//
// Reconnecting. When a request finds the connection closed (by a request
// that failed, or by the host), it connects again to the same host and
// port, once, before it sends; a request whose bytes went out is never
// sent a second time. A proxy that never connected sends nothing.
#pragma once

#include "api/zpi50_client.h"
#include "api/zpi50_export.h"
#include "btkstring.h"
#include "client/zr_framing.h"
#include "net.h"

#include <string>

// The reply time limit in seconds (see above), read on first use.
double ZrGetReplyTimeout();
// The reply time limit that the text of ZORVAN_REPLY_TIMEOUT gives (null:
// unset); `diagnostic` (when given) receives the line that says why a set
// value was not taken as it stands, and is left empty when it was.
double ZrParseReplyTimeout(const char* text, std::string* diagnostic = nullptr);
// ZrParseReplyTimeout that prints its diagnostic line on standard error.
double ZrReadReplyTimeout(const char* text);
// "the reply time limit is 2 seconds", for a limit of `seconds`.
std::string ZrDescribeReplyTimeout(double seconds);
// Seconds within which the rest of a reply must come once it has begun.
constexpr double kZrReplyRestTimeout = 60;
// Puts the reply time limits on a connection of the client (null is
// ignored).
void ZrApplyReplyLimits(BNFSConnection* connection);
