#pragma once

#include <cstddef>
#include <string>

// Plain HTTP GET of one resource (the update page, a downloaded installer)
// through libcurl. Nothing is followed or retried; every wait is bounded, so
// a server that does not answer costs at most the request's time limit.
namespace kdx2::platform {

struct HttpRequest {
    std::string url;        // "http://host:port/path"
    std::string userAgent;  // the User-Agent header; empty: none
    // The body is cut after this many bytes: `truncated` tells it was longer.
    size_t maxBytes = 8000;
    // Gives up when the server is not reached within connectMs, or the whole
    // exchange takes longer than totalMs.
    long connectMs = 3000;
    long totalMs = 3000;
};

struct HttpResponse {
    bool reached = false;    // a connection was made and an answer read
    long status = 0;         // the HTTP status code (200 ...), 0 when none
    std::string body;        // at most maxBytes bytes
    bool truncated = false;  // the body went on past maxBytes
    std::string error;       // Portuguese (CP850) reason, when not reached
};

HttpResponse httpGet(const HttpRequest& request);

}  // namespace kdx2::platform
