#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvo::web::testing {

int ListenOnLoopback(int backlog, std::uint16_t* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

std::uint16_t FreeLoopbackPort() {
    std::uint16_t port = 0;
    const int fd = ListenOnLoopback(1, &port);
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

}  // namespace korvo::web::testing
