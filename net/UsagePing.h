#pragma once
// The one HTTP request sent at every start, so that each start leaves an entry in the
// access log of the maker's web server. The answer is never used.

namespace quorvel {

// Sends "GET /morvane.xml" to the maker's web server (the build's default host, or
// QUORVEL_PING_HOST from the environment as "host" or "host:port") and reads the
// answer. Throws quorvel::Error for every failure: resolution, connection, a time-out,
// a malformed or over-long answer line, and any status outside the 2xx class. The
// caller drops whatever is thrown.
void SendUsagePing();

}  // namespace quorvel
