#include "windows/HttpClient.h"

#include <curl/curl.h>

#include <memory>

namespace {

struct TCurlGlobal {
    TCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~TCurlGlobal() { curl_global_cleanup(); }
};

struct TTransfer {
    const std::function<bool(const char*, size_t)>* Sink;
    int64_t Received = 0;
    int64_t Limit = 0;
    bool TooLarge = false;
};

size_t WriteBody(char* Data, size_t Size, size_t Count, void* User) {
    auto* T = static_cast<TTransfer*>(User);
    const size_t Bytes = Size * Count;
    T->Received += int64_t(Bytes);
    if (T->Received > T->Limit) {
        T->TooLarge = true;
        return 0;  // anything short of Bytes makes curl fail the transfer
    }
    return (*T->Sink)(Data, Bytes) ? Bytes : 0;
}

struct TCurlDeleter {
    void operator()(CURL* C) const { curl_easy_cleanup(C); }
};
struct TSlistDeleter {
    void operator()(curl_slist* L) const { curl_slist_free_all(L); }
};

} // namespace

void THttpClient::Get(const std::string& URL, const std::function<bool(const char*, size_t)>& Sink) {
    static TCurlGlobal Global;
    std::unique_ptr<CURL, TCurlDeleter> Curl(curl_easy_init());
    if (!Curl) throw EHttpError("HTTP client could not be created");
    CURL* C = Curl.get();

    std::unique_ptr<curl_slist, TSlistDeleter> Headers;
    auto AddHeader = [&](const std::string& H) {
        curl_slist* L = curl_slist_append(Headers.get(), H.c_str());
        if (!L) throw EHttpError("out of memory");
        (void)Headers.release();
        Headers.reset(L);
    };
    if (!Accept.empty()) AddHeader("Accept: " + Accept);
    if (!ContentType.empty()) AddHeader("Content-Type: " + ContentType);

    TTransfer T{&Sink, 0, MaxBodySize, false};
    char ErrorText[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(C, CURLOPT_URL, URL.c_str());
    curl_easy_setopt(C, CURLOPT_HTTPGET, 1L);
    // A refused address fails as any failed GET does.
    const char* Protocols = AllowPlainHttp ? "http,https" : "https";
    curl_easy_setopt(C, CURLOPT_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(C, CURLOPT_REDIR_PROTOCOLS_STR, Protocols);
    curl_easy_setopt(C, CURLOPT_FOLLOWLOCATION, HandleRedirects ? 1L : 0L);
    curl_easy_setopt(C, CURLOPT_MAXREDIRS, long(RedirectMaximum));
    // No proxy, whatever the environment says.
    curl_easy_setopt(C, CURLOPT_PROXY, "");
    curl_easy_setopt(C, CURLOPT_NOPROXY, "*");
    if (AllowCookies) curl_easy_setopt(C, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(C, CURLOPT_USERAGENT, UserAgent.c_str());
    curl_easy_setopt(C, CURLOPT_HTTPHEADER, Headers.get());
    if (ContentRangeStart > 0)
        curl_easy_setopt(C, CURLOPT_RANGE, (std::to_string(ContentRangeStart) + "-").c_str());
    // An error status is a failed download, not a body to keep.
    curl_easy_setopt(C, CURLOPT_FAILONERROR, 1L);
    // The update file is small, so the read timeout bounds the whole GET: a
    // server that accepts and never answers cannot hold the GUI thread longer.
    curl_easy_setopt(C, CURLOPT_CONNECTTIMEOUT_MS, long(ReadTimeout));
    curl_easy_setopt(C, CURLOPT_TIMEOUT_MS, long(ReadTimeout));
    curl_easy_setopt(C, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(C, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(MaxBodySize));
    curl_easy_setopt(C, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(C, CURLOPT_WRITEDATA, &T);
    curl_easy_setopt(C, CURLOPT_ERRORBUFFER, ErrorText);

    const CURLcode Result = curl_easy_perform(C);
    if (T.TooLarge) throw EHttpError("the response is larger than " + std::to_string(MaxBodySize) + " bytes");
    if (Result != CURLE_OK)
        throw EHttpError(ErrorText[0] ? ErrorText : curl_easy_strerror(Result));
}
