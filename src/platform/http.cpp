#include "platform/http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "base/cp850.h"

namespace kdx2::platform {

using namespace base::literals;

namespace {

struct Received {
    std::string* body;
    size_t maxBytes;
    bool truncated = false;
};

// Keeps at most maxBytes; past that the transfer is ended, which is how a
// page far larger than what is looked at stops costing anything.
size_t keep(char* data, size_t size, size_t count, void* user) {
    auto* received = static_cast<Received*>(user);
    const size_t length = size * count;
    const size_t room = received->maxBytes - received->body->size();
    if (length > room) {
        received->body->append(data, room);
        received->truncated = true;
        return 0;
    }
    received->body->append(data, length);
    return length;
}

void startCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

}  // namespace

HttpResponse httpGet(const HttpRequest& request) {
    startCurlOnce();
    HttpResponse response;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        response.error = "Não foi possível iniciar o acesso à rede."_cp;
        return response;
    }
    Received received{&response.body, request.maxBytes};
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    // Plain HTTP only: a redirect or another scheme is not followed.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, request.connectMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, request.totalMs);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    if (!request.userAgent.empty())
        curl_easy_setopt(handle, CURLOPT_USERAGENT, request.userAgent.c_str());
    const CURLcode code = curl_easy_perform(handle);
    response.truncated = received.truncated;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && received.truncated)) {
        response.reached = true;
        return response;
    }
    response.body.clear();
    response.truncated = false;
    const std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    response.error = base::cp850::fromUtf8(detail);
    return response;
}

}  // namespace kdx2::platform
