#pragma once
// A small HTTP server on 127.0.0.1 for the update check's tests. It answers
// one connection at a time from a table of paths, on its own thread.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TReply {
    int Status = 200;
    std::string Body;
    std::string Location;  // for a redirect
    bool Stall = false;    // accept and read the request, never answer
};

class THttpTestServer {
public:
    THttpTestServer();
    ~THttpTestServer();

    std::string BaseURL() const { return "http://127.0.0.1:" + std::to_string(FPort); }
    void Set(const std::string& Path, const TReply& Reply);
    // The raw requests received so far.
    std::vector<std::string> Requests();

private:
    void Run();
    void Serve(int Client);

    int FListen = -1;
    int FStop[2] = {-1, -1};
    int FPort = 0;
    std::mutex FLock;
    std::map<std::string, TReply> FReplies;
    std::vector<std::string> FRequests;
    std::thread FThread;
};
