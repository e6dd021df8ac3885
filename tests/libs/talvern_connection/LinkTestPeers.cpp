#include "LinkTestPeers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

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
    if (serve) {
        m_Thread = std::thread([this, serve] {
            int fd = -1;
            while ((fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC)) >= 0) {
                m_Served.emplace_back([fd, serve] {
                    serve(fd);
                    ::close(fd);
                });
            }
        });
    }
}

RawPeer::~RawPeer() {
    ::shutdown(m_Listen, SHUT_RDWR);  // ends the blocked accept
    if (m_Thread.joinable())
        m_Thread.join();
    for (auto& t : m_Served)
        t.join();
    ::close(m_Listen);
}

RawPeer::Serve Replies(std::vector<std::string> replies, bool hold) {
    return [replies, hold](int fd) {
        for (const std::string& reply : replies) {
            ReadRawLine(fd);
            WriteRaw(fd, reply);
        }
        while (hold && !ReadRawLine(fd).empty()) {
        }
    };
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
