// Loopback sockets for tests and benchmarks.
#pragma once

#include <cstdint>

namespace korvo::web::testing {

// A TCP socket listening on 127.0.0.1 on a port the system chose, with the
// given backlog; the port goes to *port. Returns -1 when that fails. The
// caller closes the socket.
int ListenOnLoopback(int backlog, std::uint16_t* port);

// A port on 127.0.0.1 that nothing listened on a moment ago. Another process
// may take it before the caller binds it; good enough on a test machine.
std::uint16_t FreeLoopbackPort();

}  // namespace korvo::web::testing
