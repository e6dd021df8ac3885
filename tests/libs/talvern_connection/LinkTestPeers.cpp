#include "LinkTestPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zor::test {

namespace {

int Listen(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(fd, 8) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        std::abort();
    port = ntohs(sa.sin_port);
    return fd;
}

}  // namespace

RawPeer::RawPeer(Serve serve) {
    m_Listen = Listen(m_Port);
    m_Wake = ::eventfd(0, EFD_CLOEXEC);
    if (!serve)
        return;
    m_Thread = std::thread([this, serve] {
        for (;;) {
            pollfd fds[2] = {{m_Wake, POLLIN, 0}, {m_Listen, POLLIN, 0}};
            if (::poll(fds, 2, -1) <= 0 || fds[0].revents)
                return;
            const int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            m_Accepted++;
            m_Served.emplace_back([fd, serve] {
                serve(fd);
                ::close(fd);
            });
        }
    });
}

RawPeer::~RawPeer() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_Wake, &one, sizeof one);
    if (m_Thread.joinable())
        m_Thread.join();
    ::shutdown(m_Listen, SHUT_RDWR);
    for (auto& t : m_Served)
        t.join();
    ::close(m_Listen);
    ::close(m_Wake);
}

std::string ReadRawLine(int fd) {
    std::string line;
    char c = 0;
    while (::recv(fd, &c, 1, 0) == 1) {
        if (c == '\n')
            return line;
        line += c;
    }
    return "";
}

void WriteRaw(int fd, const std::string& text) {
    [[maybe_unused]] const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
}

uint16_t UnusedPort() {
    uint16_t port = 0;
    ::close(Listen(port));
    return port;
}

}  // namespace zor::test
