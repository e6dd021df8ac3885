#include "talvern_connection/LinkServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "talvern_connection/LinkProtocol.h"

namespace talvern {

namespace {

std::string StateWord(std::string word) {
    for (char& c : word) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f)
            c = '_';
    }
    return word.empty() ? "unknown" : word;
}

}  // namespace

struct LinkServer::ClientState {
    int Fd = -1;
    bool Greeted = false;
    std::string Buffer;
};

struct LinkServer::Impl {
    int Listen = -1;
    int Wake = -1;  // eventfd made readable by Stop()
    std::thread Thread;
    std::vector<ClientState> Clients;
};

LinkServer::LinkServer(ILinkHandler& handler) : m_Handler(handler) {}

LinkServer::~LinkServer() {
    Stop();
}

bool LinkServer::Start(uint16_t port, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why + ": " + std::strerror(errno);
        if (m_Impl) {
            if (m_Impl->Listen >= 0)
                ::close(m_Impl->Listen);
            if (m_Impl->Wake >= 0)
                ::close(m_Impl->Wake);
            m_Impl.reset();
        }
        return false;
    };
    if (m_Impl) {
        if (error)
            *error = "the link server is already started";
        return false;
    }
    m_Impl = std::make_unique<Impl>();
    m_Impl->Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_Impl->Listen < 0)
        return fail("socket");
    // A restarted device takes its port again at once, without waiting out TIME_WAIT.
    const int one = 1;
    ::setsockopt(m_Impl->Listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_Impl->Listen, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0)
        return fail("bind 127.0.0.1:" + std::to_string(port));
    if (::listen(m_Impl->Listen, kMaxClients) != 0)
        return fail("listen");
    socklen_t len = sizeof sa;
    ::getsockname(m_Impl->Listen, reinterpret_cast<sockaddr*>(&sa), &len);
    m_Impl->Wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_Impl->Wake < 0)
        return fail("eventfd");
    m_Port = ntohs(sa.sin_port);
    m_Impl->Thread = std::thread([this] { Serve(); });
    return true;
}

void LinkServer::Stop() {
    if (!m_Impl)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_Impl->Wake, &one, sizeof one);
    if (m_Impl->Thread.joinable())
        m_Impl->Thread.join();
    for (const ClientState& c : m_Impl->Clients)
        ::close(c.Fd);
    ::close(m_Impl->Listen);
    ::close(m_Impl->Wake);
    m_Impl.reset();
    m_Port = 0;
    m_Clients = 0;
}

std::string LinkServer::Answer(ClientState& client, const std::string& line, bool& drop) {
    if (!client.Greeted) {
        if (line == "HELLO 1") {
            client.Greeted = true;
            return "OK talvern 1";
        }
        drop = true;
        return "ERR greeting expected: HELLO 1";
    }
    if (line == "PING")
        return "OK state=" + StateWord(m_Handler.Status());
    if (line == "MAYABORT")
        return m_Handler.MayAbort() ? "YES" : "NO";
    if (line == "ABORT") {
        m_Handler.OnAbortRequest();
        return "OK";
    }
    if (line == "VOI 1" || line == "VOI 0") {
        m_Handler.OnVolumeSelection(line == "VOI 1");
        return "OK";
    }
    return "ERR unknown request";
}

/// Reads what `client` sent and answers every complete line; false when it is to be closed.
bool LinkServer::Receive(ClientState& client) {
    char chunk[kMaxLineBytes];
    const ssize_t n = ::recv(client.Fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0)
        return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
    if (n == 0)
        return false;
    client.Buffer.append(chunk, static_cast<size_t>(n));
    for (auto lf = client.Buffer.find('\n'); lf != std::string::npos;
         lf = client.Buffer.find('\n')) {
        std::string line = client.Buffer.substr(0, lf);
        client.Buffer.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        bool drop = false;
        const std::string answer = Answer(client, line, drop) + "\n";
        // Answers are a few bytes against an empty socket buffer; a client that does not
        // read them is not served further.
        std::string error;
        if (!SendAll(client.Fd, answer, Clock::now() + kCallLimit, error) || drop)
            return false;
    }
    return client.Buffer.size() < kMaxLineBytes;
}

void LinkServer::Serve() {
    auto& clients = m_Impl->Clients;
    for (;;) {
        std::vector<pollfd> fds{{m_Impl->Wake, POLLIN, 0}, {m_Impl->Listen, POLLIN, 0}};
        for (const ClientState& c : clients)
            fds.push_back({c.Fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        // Clients first: accepting appends to `clients`, which `fds` indexes.
        for (size_t i = fds.size(); i-- > 2;) {
            if (fds[i].revents && !Receive(clients[i - 2])) {
                ::close(clients[i - 2].Fd);
                clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i - 2));
            }
        }
        if (fds[1].revents & POLLIN) {
            const int fd =
                ::accept4(m_Impl->Listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0 && static_cast<int>(clients.size()) >= kMaxClients)
                ::close(fd);
            else if (fd >= 0)
                clients.push_back(ClientState{fd, false, {}});
        }
        m_Clients = static_cast<int>(clients.size());
    }
}

}  // namespace talvern
