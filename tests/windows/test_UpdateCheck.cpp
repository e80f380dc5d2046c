// The update check against a real HTTP server on 127.0.0.1.
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <algorithm>
#include <fstream>
#include <memory>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/widgets/MessageBox.h"
#include "windows/DMUnit.h"
#include "windows/ShowLiveUpdateUnit.h"

namespace {

struct TReply { int Status = 200; std::string Body{}; bool Stall = false; };  // Stall: read the request, never answer

// Answers every connection with the reply set last, one at a time, on its own thread.
class THttpTestServer {
public:
    THttpTestServer() {
        sockaddr_in A{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
        socklen_t Len = sizeof A;
        if (bind(FListen, reinterpret_cast<sockaddr*>(&A), Len) != 0 || listen(FListen, 8) != 0 ||
            getsockname(FListen, reinterpret_cast<sockaddr*>(&A), &Len) != 0)
            throw std::runtime_error("the test server cannot listen");
        BaseURL = "http://127.0.0.1:" + std::to_string(ntohs(A.sin_port));
        FThread = std::thread([this] {
            for (int Client; (Client = accept(FListen, nullptr, nullptr)) >= 0; close(Client)) Serve(Client);
        });
    }
    ~THttpTestServer() {
        shutdown(FListen, SHUT_RDWR);  // ends the accept
        FThread.join();
        close(FListen);
    }
    void Set(TReply R) { FReply = std::make_shared<const TReply>(std::move(R)); }
    std::string BaseURL;
    std::atomic<int> Requests{0};
    std::atomic<bool> RightPath{true};  // every request asked for the update file

private:
    void Serve(int Client) {
        char Buf[4096];
        const std::string Request(Buf, size_t(std::max<ssize_t>(read(Client, Buf, sizeof Buf), 0)));
        RightPath = RightPath && Request.rfind("GET /update/Update.xml HTTP/1.1\r\n", 0) == 0;
        ++Requests;
        const auto R = FReply.load();
        const std::string All = "HTTP/1.1 " + std::to_string(R->Status) + " X\r\nContent-Length: " +
                                std::to_string(R->Body.size()) + "\r\nConnection: close\r\n\r\n" + R->Body;
        pollfd P{Client, POLLIN, 0};
        if (R->Stall) poll(&P, 1, 20000);  // until the client gives up
        else send(Client, All.data(), All.size(), MSG_NOSIGNAL);
    }
    int FListen = socket(AF_INET, SOCK_STREAM, 0);
    std::atomic<std::shared_ptr<const TReply>> FReply{std::make_shared<const TReply>()};
    std::thread FThread;
};

std::string Xml(const std::string& Version) {
    return "<?xml version=\"1.0\"?>\n<updateinformation><softver>" + Version + "</softver><notes/></updateinformation>\n";
}

std::string ReadAll(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("XDG_CACHE_HOME", Cache.toLocal8Bit());
        plat::SetProgramFolderForTests(Program);
        plat::SetMessageBoxHandler([this](const std::string& Text, const std::string&, unsigned Flags) {
            return Boxes.push_back({Text, Flags & 0x0f, ShowLiveUpdateForm != nullptr}), Answer;
        });
        plat::TShellHooks Hooks;
        Hooks.Open = [](const std::string&) {};
        Hooks.Run = [this](const std::string& Program) { return Started.push_back(Program), false; };  // not started
        plat::SetShellHooks(Hooks);
        Dm.UpdateSite = Server.BaseURL;
        Dm.IdHTTP1.AllowPlainHttp = true;  // the local server speaks no TLS
        Dm.Terminate = [this] { ++Terminated; };
    }
    void TearDown() override {
        qunsetenv("XDG_CACHE_HOME");
        AppVersion = SavedVersion;
        plat::SetMessageBoxHandler(nullptr);
        plat::SetShellHooks({});
        plat::SetProgramFolderForTests("");
    }

    struct TBox { std::string Text; unsigned Buttons; bool WaitWindowUp; };
    THttpTestServer Server;
    QTemporaryDir Folder;  // the program folder, with no "update" in it
    const QString Cache = Folder.path() + "/cache";
    const std::string Program = Folder.path().toStdString() + "/", Update = Cache.toStdString() + "/corvane/update",
                      LocalCopy = Update + "/Update.xml";
    const std::string SavedVersion = std::exchange(AppVersion, "1.0.0.1");
    TDM Dm;
    std::vector<TBox> Boxes;
    std::vector<std::string> Started;  // run as a program
    int Answer = plat::IDNO, Terminated = 0;
};

// What the check shows for each published file: the offer, "no updates"
// (only when asked for) or nothing, each after the wait window has gone;
// versions compare number by number. The local copy holds what was published.
TEST_F(UpdateCheck, ShowsTheRightBox) {
    const int Offer = plat::MB_YESNO, NoUpdates = plat::MB_OK, Nothing = -1;
    const struct { const char* Name; std::string Published, Running; bool Asked; int Box; } Rows[] = {
        {"NewerSilent", Xml("1.0.0.2"), "1.0.0.1", false, Offer},
        {"EqualAsked", Xml("1.0.0.1"), "1.0.0.1", true, NoUpdates},
        {"EqualSilent", Xml("1.0.0.1"), "1.0.0.1", false, Nothing},
        {"TenAfterNine", Xml("2.3.10"), "2.3.9", true, Offer},
        {"UnknownRunningVersion", Xml("0.0.0.1"), "", false, Offer},
        {"NotXml", "<html><body>Hello", "1.0.0.1", true, NoUpdates},
        {"OtherRoot", "<update><softver>9.9</softver></update>", "", true, NoUpdates},
        {"NotAVersion", Xml("latest"), "", true, NoUpdates},
        {"EmptyVersion", Xml(""), "", true, NoUpdates},
    };
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Name);
        AppVersion = R.Running;
        Boxes.clear();
        Server.Set({200, R.Published});
        Dm.CheckForUpdate(R.Asked);
        EXPECT_EQ(Boxes.size(), R.Box == Nothing ? 0u : 1u);
        for (const TBox& B : Boxes) EXPECT_TRUE(int(B.Buttons) == R.Box && !B.WaitWindowUp);
        EXPECT_EQ(ReadAll(LocalCopy), R.Published);
    }
    EXPECT_TRUE(Started.empty() && Terminated == 0 && Server.RightPath);
}

TEST(CompareVersions, NumberByNumber) {
    const std::tuple<const char*, const char*, int> Cases[] = {
        {"2.3.10", "2.3.9", 1}, {"2.3.5.48", "2.3.5", 1}, {"2.3.5", "2.3.5.0", 0}, {"10.0", "9.99", 1},
        {"01.2", "1.2", 0}, {"", "0.0.0.1", -1}, {"123456789012345678901234567890", "123456789012345678901234567889", 1}};
    for (const auto& [A, B, Sign] : Cases) {
        EXPECT_EQ(CompareVersions(A, B), Sign) << A << " vs " << B;
        EXPECT_EQ(CompareVersions(B, A), -Sign) << B << " vs " << A;
    }
}

// The check at start-up runs only when switched on. Yes runs the updater
// (the one without extension where it exists) and ends the program even
// though it did not start; No leaves everything as it was.
TEST_F(UpdateCheck, StartUpCheckAndTheUpdater) {
    Server.Set({200, Xml("9.0")});
    MyRegistryInfo.CheckUpdate = false;
    Dm.DataModuleCreate();
    EXPECT_EQ(Server.Requests, 0);
    MyRegistryInfo.CheckUpdate = true;
    for (const auto& [Given, Updater] :
         {std::pair{plat::IDNO, ""}, {plat::IDYES, "corvaneUpdate.exe"}, {plat::IDYES, "corvaneUpdate"}}) {
        if (Updater == std::string("corvaneUpdate")) std::ofstream(Program + Updater) << "#!/bin/sh\n";
        Answer = Given;
        Started.clear();
        Terminated = 0;
        Dm.DataModuleCreate();
        EXPECT_EQ(Started, *Updater ? std::vector<std::string>{Program + Updater} : std::vector<std::string>{});
        EXPECT_EQ(Terminated, *Updater ? 1 : 0);
    }
}

// The update file comes over HTTPS alone: the vendor's site is HTTPS, and a
// plain address is refused before any request is sent.
TEST(HttpClient, SecureRequestsOnly) {
    TDM Dm;
    EXPECT_EQ(Dm.UpdateSite.rfind("https://", 0), 0u) << Dm.UpdateSite;
    THttpTestServer Server;
    EXPECT_THROW(Dm.IdHTTP1.Get(Server.BaseURL + "/update/Update.xml", [](const char*, size_t) { return true; }),
                 EHttpError);
    EXPECT_EQ(Server.Requests, 0);
}

// A failed download ends the check silently, also when the user asked for
// it, within the read timeout, and keeps the previous local copy whole.
TEST_F(UpdateCheck, FailedDownloadIsSilentAndKeepsTheOldCopy) {
    const std::pair<const char*, TReply> Rows[] = {{"NotFound", {404, "<softver>9.9</softver>"}},
                                                   {"TooLarge", {200, std::string(2 << 20, 'x')}},
                                                   {"NeverAnswers", {200, "", true}}};
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Update)));
    for (const auto& [Name, Reply] : Rows) {
        SCOPED_TRACE(Name);
        std::ofstream(LocalCopy, std::ios::binary) << Xml("0.5");
        Server.Set(Reply);
        const auto Start = std::chrono::steady_clock::now();
        Dm.CheckForUpdate(true);
        EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(7500));
        EXPECT_TRUE(Boxes.empty());
        EXPECT_EQ(ReadAll(LocalCopy), Xml("0.5"));
        EXPECT_EQ(QDir(QString::fromStdString(Update)).entryList(QDir::Files).size(), 1);  // no temporary file
    }
}

// The program folder holds no update folder: the check at start-up makes the
// local copy's folder in the cache, as an installer would, and with the
// download failing shows nothing. A folder that cannot be made is reported
// and no GET is made.
TEST_F(UpdateCheck, LocalCopyFolderIsMadeInTheCacheOrReported) {
    Server.Set({404, ""});
    MyRegistryInfo.CheckUpdate = true;
    Dm.DataModuleCreate();
    EXPECT_TRUE(Boxes.empty()) << Boxes[0].Text;
    EXPECT_FALSE(QDir(Folder.path() + "/update").exists());
    struct stat St {};
    EXPECT_TRUE(stat(Update.c_str(), &St) == 0 && (St.st_mode & 07777) == 0700) << std::oct << St.st_mode;
    ASSERT_TRUE(QDir(Cache).removeRecursively());
    std::ofstream(Cache.toStdString()) << "in the way";
    const int Requests = Server.Requests;
    Dm.CheckForUpdate(true);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find(LocalCopy), std::string::npos) << Boxes[0].Text;
    EXPECT_EQ(Server.Requests, Requests);
}

// Terminate asked for before the message loop runs (the check at start-up)
// must still end the program once the loop starts.
TEST(TerminateDeathTest, EndsTheLoopThatStartsLater) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TDM Dm;
            Dm.Terminate();
            QCoreApplication::processEvents();  // start-up paints before the loop
            QTimer::singleShot(5000, [] { QCoreApplication::exit(9); });
            std::exit(QCoreApplication::exec() == 0 ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace
