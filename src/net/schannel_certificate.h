// Windows only. Schannel under wine accepts any certificate, expired, for another host or
// from no trusted authority alike, whatever curl asks of it; so the launcher checks the
// server's chain and name itself with the system's certificate functions, before the
// first byte of a request leaves, on every request. On Windows this repeats Schannel's own
// check; it turns nothing off.
#pragma once

#include <string>

// The certificate of the TLS connection curl (a CURL*) is about to send a request over,
// checked for host (the URL's host name). True when it is good; otherwise refusal says
// why, in words for the player.
bool CheckServerCertificate(void* curl, const std::string& host, std::string& refusal);
