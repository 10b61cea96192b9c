#pragma once

// A small HTTP server on 127.0.0.1 for the update check's tests: it answers
// GET requests from a table of paths, or accepts connections and never
// answers. It stops by itself when the object goes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kdx2::update_test {

class PageServer {
  public:
    enum class Mode { Answer, Silent };

    explicit PageServer(std::map<std::string, std::string> pages, Mode mode = Mode::Answer)
        : pages_(std::move(pages)), mode_(mode) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~PageServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int fd : held_)
            ::close(fd);
        if (listener_ >= 0) ::close(listener_);
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // The requests received, each as its text up to the empty line.
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    void serve() {
        // Bounded: a test that forgets the server still ends.
        for (int rounds = 0; !stop_ && rounds < 600; ++rounds) {
            pollfd ready{listener_, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            if (mode_ == Mode::Silent) {
                held_.push_back(client);
                continue;
            }
            answer(client);
            ::close(client);
        }
    }

    void answer(int client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            pollfd ready{client, POLLIN, 0};
            if (::poll(&ready, 1, 2000) <= 0) return;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            request.append(buffer, static_cast<size_t>(got));
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request.substr(0, request.find("\r\n\r\n")));
        }
        const size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const auto page = pages_.find(path);
        const std::string body = page == pages_.end() ? "nada" : page->second;
        const std::string head =
            std::string(page == pages_.end() ? "HTTP/1.1 404 Not Found" : "HTTP/1.1 200 OK") +
            "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        const std::string all = head + body;
        size_t sent = 0;
        while (sent < all.size()) {
            const ssize_t put = ::send(client, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
            if (put <= 0) return;
            sent += static_cast<size_t>(put);
        }
    }

    std::map<std::string, std::string> pages_;
    Mode mode_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> held_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

// An update page: some text, then "SELIC" and twelve entries "YYYYMM r.rr "
// from 16 characters after its "S", then the version marker.
inline std::string updatePage(const std::vector<std::pair<std::string, std::string>>& months,
                              const std::string& marker) {
    std::string page = "<html><body><p>Taxas do mes</p>\nSELIC acumulada:";
    for (const auto& [key, rate] : months)
        page += key + " " + rate + " ";
    return page + "\n<p>" + marker + "</p></body></html>\n";
}

// Twelve months from January of `year`, rates "0.81" ... "0.92".
inline std::vector<std::pair<std::string, std::string>> yearOfRates(int year) {
    std::vector<std::pair<std::string, std::string>> months;
    for (int m = 1; m <= 12; ++m)
        months.emplace_back(std::to_string(year) + (m < 10 ? "0" : "") + std::to_string(m),
                            "0." + std::to_string(80 + m));
    return months;
}

}  // namespace kdx2::update_test
