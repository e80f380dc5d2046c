#pragma once
// A blocking HTTP client over libcurl with the settings of the update check.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// A GET that did not deliver the whole body: refused, unresolved, timed out,
// an error status or too large.
class EHttpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class THttpClient {
public:
    int ReadTimeout = 5000;  // ms; bounds a stalled transfer as a whole
    bool AllowCookies = true;
    std::string ContentType = "text/html";
    std::string Accept = "text/html, */*";
    std::string UserAgent = "Mozilla/3.0 (compatible; Indy Library)";
    bool HandleRedirects = true;
    int RedirectMaximum = 15;
    // 0: the whole file is asked for (no Range header).
    int64_t ContentRangeStart = 0;
    // The update file is small: a body beyond this is refused, so a broken or
    // hostile server cannot fill the disk.
    int64_t MaxBodySize = int64_t(1) << 20;
    // HTTPS alone, for the first address and every redirect: the update file
    // decides whether the updater runs. Tests against a local server without
    // TLS allow plain HTTP.
    bool AllowPlainHttp = false;

    // GETs URL and hands each piece of the body to Sink (which returns false
    // to stop). Throws EHttpError on any failure, also an HTTP error status.
    void Get(const std::string& URL, const std::function<bool(const char*, size_t)>& Sink);
};
