#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

THttpTestServer::THttpTestServer() {
    FListen = socket(AF_INET, SOCK_STREAM, 0);
    if (FListen < 0 || pipe(FStop) != 0) throw std::runtime_error("socket");
    int One = 1;
    setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
    sockaddr_in A{};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(FListen, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 || listen(FListen, 8) != 0)
        throw std::runtime_error("bind");
    socklen_t Len = sizeof A;
    getsockname(FListen, reinterpret_cast<sockaddr*>(&A), &Len);
    FPort = ntohs(A.sin_port);
    FThread = std::thread([this] { Run(); });
}

THttpTestServer::~THttpTestServer() {
    (void)!write(FStop[1], "x", 1);
    FThread.join();
    close(FListen);
    close(FStop[0]);
    close(FStop[1]);
}

void THttpTestServer::Set(const std::string& Path, const TReply& Reply) {
    std::lock_guard<std::mutex> G(FLock);
    FReplies[Path] = Reply;
}

std::vector<std::string> THttpTestServer::Requests() {
    std::lock_guard<std::mutex> G(FLock);
    return FRequests;
}

void THttpTestServer::Run() {
    for (;;) {
        pollfd P[2] = {{FListen, POLLIN, 0}, {FStop[0], POLLIN, 0}};
        if (poll(P, 2, -1) < 0) continue;
        if (P[1].revents) return;
        if (P[0].revents & POLLIN) {
            const int Client = accept(FListen, nullptr, nullptr);
            if (Client >= 0) {
                Serve(Client);
                close(Client);
            }
        }
    }
}

void THttpTestServer::Serve(int Client) {
    std::string Request;
    char Buf[4096];
    while (Request.find("\r\n\r\n") == std::string::npos) {
        pollfd P[2] = {{Client, POLLIN, 0}, {FStop[0], POLLIN, 0}};
        if (poll(P, 2, 10000) <= 0 || P[1].revents) return;
        const ssize_t N = read(Client, Buf, sizeof Buf);
        if (N <= 0) return;
        Request.append(Buf, size_t(N));
    }
    const size_t Sp1 = Request.find(' '), Sp2 = Request.find(' ', Sp1 + 1);
    const std::string Path = Request.substr(Sp1 + 1, Sp2 - Sp1 - 1);
    TReply R;
    bool Known;
    {
        std::lock_guard<std::mutex> G(FLock);
        FRequests.push_back(Request);
        auto It = FReplies.find(Path);
        Known = It != FReplies.end();
        if (Known) R = It->second;
    }
    if (!Known) R = TReply{404, "not here", "", false};
    if (R.Stall) {
        // Hold the connection until the client gives up or the server stops.
        pollfd P[2] = {{Client, POLLIN, 0}, {FStop[0], POLLIN, 0}};
        while (poll(P, 2, 20000) > 0 && !P[1].revents) {
            if (read(Client, Buf, sizeof Buf) <= 0) break;
        }
        return;
    }
    std::string Head = "HTTP/1.1 " + std::to_string(R.Status) + (R.Status < 300 ? " OK" : " Other") + "\r\n";
    if (!R.Location.empty()) Head += "Location: " + R.Location + "\r\n";
    Head += "Content-Type: text/xml\r\nContent-Length: " + std::to_string(R.Body.size()) +
            "\r\nConnection: close\r\n\r\n";
    const std::string All = Head + R.Body;
    size_t Done = 0;
    while (Done < All.size()) {
        const ssize_t N = send(Client, All.data() + Done, All.size() - Done, MSG_NOSIGNAL);
        if (N <= 0) return;
        Done += size_t(N);
    }
    shutdown(Client, SHUT_WR);
    // Let the client read everything before the socket closes.
    pollfd P{Client, POLLIN, 0};
    while (poll(&P, 1, 2000) > 0 && read(Client, Buf, sizeof Buf) > 0) {
    }
}
