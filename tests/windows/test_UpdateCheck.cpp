// The update check against a real HTTP server on 127.0.0.1.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "HttpTestServer.h"
#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/widgets/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "windows/DMUnit.h"
#include "windows/ShowLiveUpdateUnit.h"

namespace {

const char* const UpdatePath = "/update/Update.xml";
const char* const OfferText =
    "A newer version of Corvane is available, Corvane will shut down to install the newer version.\n"
    "Would you like to update now?";
const char* const NoUpdatesText = "There are no updates available at this time.\nYour Corvane is up-to-date.";

std::string UpdateXml(const std::string& Version) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updateinformation>\n  <softver>" + Version +
           "</softver>\n  <notes>ignored</notes>\n</updateinformation>\n";
}

struct TBox {
    std::string Text, Caption;
    unsigned Flags;
    bool WaitWindowAlive;
};

std::string ReadAll(const std::string& Path) {
    QFile F(QString::fromStdString(Path));
    if (!F.open(QIODevice::ReadOnly)) return "<missing>";
    return F.readAll().toStdString();
}

void WriteAll(const std::string& Path, const std::string& Data) {
    QFile F(QString::fromStdString(Path));
    ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
    F.write(Data.data(), qint64(Data.size()));
}

class UpdateCheck : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        ASSERT_TRUE(QDir(Folder.path()).mkdir("update"));
        ProgramFolder = Folder.path().toStdString() + "/";
        LocalCopy = ProgramFolder + "update/Update.xml";
        plat::SetProgramFolderForTests(ProgramFolder);
        plat::SetMessageBoxHandler([this](const std::string& Text, const std::string& Caption, unsigned Flags) {
            Boxes.push_back({Text, Caption, Flags, ShowLiveUpdateForm != nullptr});
            return Answer;
        });
        plat::TShellHooks Hooks;
        Hooks.Open = [this](const std::string& Target) { Opened.push_back(Target); };
        Hooks.Run = [this](const std::string& Program) {
            Started.push_back(Program);
            return false;  // whether it started is not looked at
        };
        plat::SetShellHooks(Hooks);
        SavedVersion = AppVersion;
        AppVersion = "1.0.0.1";
        Dm = std::make_unique<TDM>();
        Dm->UpdateSite = Server.BaseURL();
        Dm->Terminate = [this] { ++Terminated; };
    }
    void TearDown() override {
        Dm.reset();
        AppVersion = SavedVersion;
        plat::SetMessageBoxHandler(nullptr);
        plat::SetShellHooks({});
        plat::SetProgramFolderForTests("");
    }

    THttpTestServer Server;
    QTemporaryDir Folder;
    std::string ProgramFolder, LocalCopy, SavedVersion;
    std::unique_ptr<TDM> Dm;
    std::vector<TBox> Boxes;
    std::vector<std::string> Opened;   // opened as a document or address
    std::vector<std::string> Started;  // run as a program
    int Answer = plat::IDNO;
    int Terminated = 0;
};

// ---------------------------------------------------------------- outcomes

enum class TOutcome { Nothing, NoUpdates, Offer };

struct TCheckCase {
    const char* Name;
    std::string Published;  // the body of the update file
    std::string Running;    // AppVersion
    bool ShowProgress;
    TOutcome Expected;
};

class UpdateOutcome : public UpdateCheck, public ::testing::WithParamInterface<TCheckCase> {};

TEST_P(UpdateOutcome, ShowsTheRightBox) {
    const TCheckCase& C = GetParam();
    AppVersion = C.Running;
    Server.Set(UpdatePath, {200, C.Published, "", false});
    Dm->CheckForUpdate(C.ShowProgress);

    EXPECT_EQ(ShowLiveUpdateForm, nullptr);
    EXPECT_TRUE(Opened.empty());
    EXPECT_TRUE(Started.empty());
    EXPECT_EQ(Terminated, 0);
    switch (C.Expected) {
    case TOutcome::Nothing:
        EXPECT_TRUE(Boxes.empty());
        break;
    case TOutcome::NoUpdates:
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, NoUpdatesText);
        EXPECT_EQ(Boxes[0].Caption, "Corvane");
        EXPECT_EQ(Boxes[0].Flags, plat::MB_OK | plat::MB_ICONINFORMATION);
        EXPECT_FALSE(Boxes[0].WaitWindowAlive);
        break;
    case TOutcome::Offer:
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, OfferText);
        EXPECT_EQ(Boxes[0].Caption, "Corvane");
        EXPECT_EQ(Boxes[0].Flags, plat::MB_YESNO | plat::MB_ICONINFORMATION);
        EXPECT_FALSE(Boxes[0].WaitWindowAlive);
        break;
    }
    // The local copy holds exactly what was published.
    EXPECT_EQ(ReadAll(LocalCopy), C.Published);
}

const TCheckCase CheckCases[] = {
    {"NewerLink", UpdateXml("1.0.0.2"), "1.0.0.1", true, TOutcome::Offer},
    {"NewerSilent", UpdateXml("1.0.0.2"), "1.0.0.1", false, TOutcome::Offer},
    {"EqualLink", UpdateXml("1.0.0.1"), "1.0.0.1", true, TOutcome::NoUpdates},
    {"EqualSilent", UpdateXml("1.0.0.1"), "1.0.0.1", false, TOutcome::Nothing},
    {"OlderLink", UpdateXml("0.9.9.9"), "1.0.0.1", true, TOutcome::NoUpdates},
    {"OlderSilent", UpdateXml("0.9"), "1.0.0.1", false, TOutcome::Nothing},
    // Numbers compare as numbers, not as text.
    {"TenAfterNine", UpdateXml("2.3.10"), "2.3.9", true, TOutcome::Offer},
    {"NineBeforeTen", UpdateXml("2.3.9"), "2.3.10", true, TOutcome::NoUpdates},
    {"LongerIsNewer", UpdateXml("2.3.5.48"), "2.3.5", true, TOutcome::Offer},
    {"MissingPartIsZero", UpdateXml("2.3"), "2.3.0.0", true, TOutcome::NoUpdates},
    {"SpacesAroundVersion", UpdateXml("\n  1.2.0.0  \n"), "1.0.0.1", true, TOutcome::Offer},
    {"UnknownRunningVersion", UpdateXml("0.0.0.1"), "", false, TOutcome::Offer},
    // A file that publishes no usable version is "no newer version".
    {"NotXml", "<html><body>Hello", "1.0.0.1", true, TOutcome::NoUpdates},
    {"NotXmlSilent", "garbage \x01\x02", "", false, TOutcome::Nothing},
    {"EmptyFile", "", "", true, TOutcome::NoUpdates},
    {"NoSoftver", "<updateinformation><version>9.9</version></updateinformation>", "1.0.0.1", true,
     TOutcome::NoUpdates},
    {"OtherRoot", "<update><softver>9.9</softver></update>", "", true, TOutcome::NoUpdates},
    {"SoftverNotAVersion", UpdateXml("latest"), "", true, TOutcome::NoUpdates},
    {"SoftverEmpty", UpdateXml(""), "", true, TOutcome::NoUpdates},
};

INSTANTIATE_TEST_SUITE_P(Table, UpdateOutcome, ::testing::ValuesIn(CheckCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(CompareVersions, NumberByNumber) {
    struct {
        const char *A, *B;
        int Sign;
    } const Cases[] = {
        {"2.3.10", "2.3.9", 1},  {"2.3.5.48", "2.3.5", 1}, {"2.3.5", "2.3.5.0", 0}, {"1", "1.0.0.0", 0},
        {"10.0", "9.99", 1},     {"01.2", "1.2", 0},       {"", "0", 0},            {"", "0.0.0.1", -1},
        {"1.0.0.1", "1.0.0.1", 0},
        {"123456789012345678901234567890", "123456789012345678901234567889", 1},
    };
    for (const auto& C : Cases) {
        EXPECT_EQ(CompareVersions(C.A, C.B), C.Sign) << C.A << " vs " << C.B;
        EXPECT_EQ(CompareVersions(C.B, C.A), -C.Sign) << C.B << " vs " << C.A;
    }
}

// ------------------------------------------------------------ the updater

TEST_F(UpdateCheck, YesStartsTheUpdaterAndEndsTheProgram) {
    Server.Set(UpdatePath, {200, UpdateXml("9.0"), "", false});
    Answer = plat::IDYES;
    Dm->CheckForUpdate(true);
    // The updater is run, not shown as a document; the program ends even
    // though it did not start.
    EXPECT_TRUE(Opened.empty());
    ASSERT_EQ(Started.size(), 1u);
    EXPECT_EQ(Started[0], ProgramFolder + "corvaneUpdate.exe");
    EXPECT_EQ(Terminated, 1);
}

TEST_F(UpdateCheck, PrefersTheUpdaterWithoutExtension) {
    WriteAll(ProgramFolder + "corvaneUpdate", "#!/bin/sh\n");
    Server.Set(UpdatePath, {200, UpdateXml("9.0"), "", false});
    Answer = plat::IDYES;
    Dm->CheckForUpdate(false);
    EXPECT_TRUE(Opened.empty());
    ASSERT_EQ(Started.size(), 1u);
    EXPECT_EQ(Started[0], ProgramFolder + "corvaneUpdate");
    EXPECT_EQ(Terminated, 1);
}

TEST_F(UpdateCheck, NoLeavesTheProgramRunning) {
    Server.Set(UpdatePath, {200, UpdateXml("9.0"), "", false});
    Answer = plat::IDNO;
    Dm->CheckForUpdate(true);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Opened.empty());
    EXPECT_TRUE(Started.empty());
    EXPECT_EQ(Terminated, 0);
}

// ---------------------------------------------------------------- transport

TEST_F(UpdateCheck, SendsTheSpecifiedRequest) {
    Server.Set(UpdatePath, {200, UpdateXml("1.0.0.1"), "", false});
    Dm->CheckForUpdate(false);
    const auto Requests = Server.Requests();
    ASSERT_EQ(Requests.size(), 1u);
    const std::string& R = Requests[0];
    EXPECT_EQ(R.rfind("GET /update/Update.xml HTTP/1.1\r\n", 0), 0u) << R;
    EXPECT_NE(R.find("User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"), std::string::npos) << R;
    EXPECT_NE(R.find("Accept: text/html, */*\r\n"), std::string::npos) << R;
    // The whole file, always.
    EXPECT_EQ(R.find("Range:"), std::string::npos) << R;
}

TEST_F(UpdateCheck, FollowsRedirects) {
    Server.Set(UpdatePath, {302, "", Server.BaseURL() + "/moved/Update.xml", false});
    Server.Set("/moved/Update.xml", {200, UpdateXml("5.0"), "", false});
    Dm->CheckForUpdate(true);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, OfferText);
    EXPECT_EQ(ReadAll(LocalCopy), UpdateXml("5.0"));
}

// The update file comes over HTTPS, and a redirect cannot take it off HTTPS.
TEST(HttpClient, SecureRequestsRedirectOnlyToSecureAddresses) {
    EXPECT_STREQ(RedirectProtocols(std::string(VendorSite) + "/update/Update.xml"), "https");
    EXPECT_STREQ(RedirectProtocols("HTTPS://corvane.example/x"), "https");
    EXPECT_STREQ(RedirectProtocols("http://127.0.0.1:8080/x"), "http,https");
    EXPECT_STREQ(RedirectProtocols("http"), "http,https");
}

// A failed download ends the check silently, even when the user asked for it,
// and keeps the previous local copy.
struct TFailCase {
    const char* Name;
    TReply Reply;
};

class FailedDownload : public UpdateCheck, public ::testing::WithParamInterface<TFailCase> {};

TEST_P(FailedDownload, IsSilentAndKeepsTheOldCopy) {
    WriteAll(LocalCopy, UpdateXml("0.5"));
    Server.Set(UpdatePath, GetParam().Reply);
    Dm->CheckForUpdate(true);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(ShowLiveUpdateForm, nullptr);
    EXPECT_EQ(ReadAll(LocalCopy), UpdateXml("0.5"));
    // No temporary file is left beside the copy.
    EXPECT_EQ(QDir(QString::fromStdString(ProgramFolder + "update")).entryList(QDir::Files).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, FailedDownload,
                         ::testing::Values(TFailCase{"NotFound", {404, "<softver>9.9</softver>", "", false}},
                                           TFailCase{"ServerError", {500, UpdateXml("9.9"), "", false}},
                                           TFailCase{"RedirectToNowhere", {302, "", "/nowhere", false}},
                                           TFailCase{"TooLarge", {200, std::string(2 << 20, 'x'), "", false}}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(UpdateCheck, ConnectionRefusedIsSilent) {
    Dm->UpdateSite = "http://127.0.0.1:1";
    Dm->CheckForUpdate(true);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(UpdateCheck, ServerThatNeverAnswersEndsWithinTheReadTimeout) {
    WriteAll(LocalCopy, UpdateXml("0.5"));
    Server.Set(UpdatePath, {200, "", "", true});
    const auto Start = std::chrono::steady_clock::now();
    Dm->CheckForUpdate(true);
    const auto Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    EXPECT_GE(Seconds, 4.0);
    EXPECT_LT(Seconds, 7.5);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(ReadAll(LocalCopy), UpdateXml("0.5"));
}

TEST_F(UpdateCheck, ShorterFileLeavesNoRemainder) {
    const std::string Long = UpdateXml("1.0.0.1") + std::string(4000, ' ') + "<!-- padding -->";
    Server.Set(UpdatePath, {200, Long, "", false});
    Dm->CheckForUpdate(false);
    ASSERT_EQ(ReadAll(LocalCopy), Long);
    Server.Set(UpdatePath, {200, UpdateXml("2.0"), "", false});
    Dm->CheckForUpdate(false);
    EXPECT_EQ(ReadAll(LocalCopy), UpdateXml("2.0"));
}

TEST_F(UpdateCheck, MissingUpdateFolderIsReportedAndNothingCreated) {
    ASSERT_TRUE(QDir(QString::fromStdString(ProgramFolder)).rmdir("update"));
    Server.Set(UpdatePath, {200, UpdateXml("9.0"), "", false});
    Dm->CheckForUpdate(true);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find("Cannot create file"), std::string::npos) << Boxes[0].Text;
    EXPECT_NE(Boxes[0].Text.find(LocalCopy), std::string::npos) << Boxes[0].Text;
    EXPECT_FALSE(QDir(QString::fromStdString(ProgramFolder + "update")).exists());
    // The folder is not created behind the user's back, and no GET was made.
    EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(UpdateCheck, DownloadToFileThrowsTheSilentAbort) {
    EXPECT_THROW(Dm->DownloadToFile(Server.BaseURL() + "/absent", LocalCopy), plat::EAbort);
    EXPECT_THROW(Dm->IsNewerVersionAvailable(), plat::EAbort);
    Server.Set(UpdatePath, {200, UpdateXml("3.0"), "", false});
    EXPECT_TRUE(Dm->IsNewerVersionAvailable());
}

TEST_F(UpdateCheck, CreateHandlerChecksOnlyWhenSwitchedOn) {
    const TMyRegistryInfo Saved = MyRegistryInfo;
    Server.Set(UpdatePath, {200, UpdateXml("9.0"), "", false});
    MyRegistryInfo.CheckUpdate = false;
    Dm->DataModuleCreate();
    EXPECT_TRUE(Server.Requests().empty());
    EXPECT_TRUE(Boxes.empty());
    MyRegistryInfo.CheckUpdate = true;
    Dm->DataModuleCreate();
    EXPECT_EQ(Server.Requests().size(), 1u);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, OfferText);
    MyRegistryInfo = Saved;
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

TEST_F(UpdateCheck, ShipsWithTheVendorSite) {
    TDM Fresh;
    EXPECT_EQ(Fresh.UpdateSite, VendorSite);
    EXPECT_EQ(Fresh.UpdateSite.rfind("https://", 0), 0u);
    EXPECT_EQ(Fresh.IdHTTP1.ReadTimeout, 5000);
}

} // namespace
