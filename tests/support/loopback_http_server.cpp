#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace ostravex::testing {

LoopbackHttpServer::LoopbackHttpServer(Responder respond) : m_respond(std::move(respond)) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (m_listener < 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 8) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_stop = true;
    m_thread.join();
    close(m_listener);
}

std::vector<std::string> LoopbackHttpServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string LoopbackHttpServer::Reply(int status, const std::string& body,
                                      const std::string& headers) {
    return "HTTP/1.0 " + std::to_string(status) + " Reason\r\n" + headers +
           "Content-Type: text/plain\r\n\r\n" + body;
}

void LoopbackHttpServer::serve() {
    while (!m_stop) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && !m_stop) {
            pollfd readable{client, POLLIN, 0};
            if (poll(&readable, 1, 50) <= 0) {
                continue;
            }
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        if (const auto reply = m_respond(request)) {
            send(client, reply->data(), reply->size(), MSG_NOSIGNAL);
        } else {
            while (!m_stop) {  // silent until the test ends
                usleep(10000);
            }
        }
        close(client);
    }
}

}  // namespace ostravex::testing
