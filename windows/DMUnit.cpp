#include "windows/DMUnit.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/AtomicFile.h"
#include "platform/widgets/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "platform/XdgFolders.h"
#include "windows/ShowLiveUpdateUnit.h"

TDM* DM = nullptr;

// ---------------------------------------------------------------- TImageList

TImageList::TImageList(int Width, int Height) : FWidth(Width), FHeight(Height) {}

QPixmap TImageList::Pixmap(int Index) const {
    if (Index < 0 || Index >= Count()) return QPixmap();
    return FImages[size_t(Index)];
}

QIcon TImageList::Icon(int Index) const {
    const QPixmap P = Pixmap(Index);
    return P.isNull() ? QIcon() : QIcon(P);
}

void TImageList::Add(const QPixmap& P) {
    if (P.width() == FWidth && P.height() == FHeight)
        FImages.push_back(P);
    else
        FImages.push_back(P.scaled(FWidth, FHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

void TImageList::AddStrip(const QPixmap& Strip) {
    if (Strip.isNull() || FWidth <= 0) return;
    for (int X = 0; X + FWidth <= Strip.width(); X += FWidth) Add(Strip.copy(X, 0, FWidth, Strip.height()));
}

// ------------------------------------------------------------ version order

namespace {

// One point-separated part: its leading digits as a number (without leading
// zeros, so no number is too long) and whatever follows them.
struct TVersionPart {
    std::string Digits;
    std::string Rest;
};

TVersionPart SplitPart(const std::string& Part) {
    size_t I = 0;
    while (I < Part.size() && Part[I] >= '0' && Part[I] <= '9') ++I;
    size_t Z = 0;
    while (Z < I && Part[Z] == '0') ++Z;
    return {Part.substr(Z, I - Z), Part.substr(I)};
}

std::vector<std::string> SplitVersion(const std::string& V) {
    std::vector<std::string> Parts;
    if (V.empty()) return Parts;
    size_t Start = 0;
    for (;;) {
        const size_t Dot = V.find('.', Start);
        Parts.push_back(V.substr(Start, Dot == std::string::npos ? std::string::npos : Dot - Start));
        if (Dot == std::string::npos) break;
        Start = Dot + 1;
    }
    return Parts;
}

bool IsWellFormedVersion(const std::string& V) {
    if (V.empty() || V.front() == '.' || V.back() == '.') return false;
    for (size_t I = 0; I < V.size(); ++I) {
        const char C = V[I];
        if (C == '.') {
            if (V[I - 1] == '.') return false;
        } else if (C < '0' || C > '9') {
            return false;
        }
    }
    return true;
}

const char* const UpdateFilePath = "/update/Update.xml";

} // namespace

int CompareVersions(const std::string& A, const std::string& B) {
    const std::vector<std::string> PA = SplitVersion(A), PB = SplitVersion(B);
    for (size_t I = 0; I < std::max(PA.size(), PB.size()); ++I) {
        const TVersionPart X = SplitPart(I < PA.size() ? PA[I] : std::string());
        const TVersionPart Y = SplitPart(I < PB.size() ? PB[I] : std::string());
        if (X.Digits.size() != Y.Digits.size()) return X.Digits.size() < Y.Digits.size() ? -1 : 1;
        if (const int C = X.Digits.compare(Y.Digits)) return C < 0 ? -1 : 1;
        if (const int C = X.Rest.compare(Y.Rest)) return C < 0 ? -1 : 1;
    }
    return 0;
}

// ---------------------------------------------------------------------- TDM

namespace {

// Application.Terminate: the program ends when its message loop next runs,
// also when the loop has not started yet (the check at start-up). A bare
// quit() before exec() would be lost.
void TerminateApplication() {
    QCoreApplication* App = QCoreApplication::instance();
    if (!App) return;
    auto* Poll = new QTimer(App);
    Poll->setInterval(0);
    QObject::connect(Poll, &QTimer::timeout, App, [Poll] {
        if (QThread::currentThread()->loopLevel() > 0) {
            Poll->stop();
            Poll->deleteLater();
            QCoreApplication::quit();
        }
    });
    Poll->start();
}

void LoadList(TImageList& List, const char* Name) {
    List.AddStrip(QPixmap(QString(":/images/%1.png").arg(Name)));
}

} // namespace

TDM::TDM()
    : DiskImageList(16, 16),
      DiskStatImageList(16, 16),
      DuplicateImages(16, 16),
      MinMaxImageList(22, 15),
      UpdateRegs(74, 64),
      MainImageList(113, 30),
      SetImages(45, 14),
      MainImageList_big(237, 30),
      UpdateSite(VendorSite),
      Terminate(&TerminateApplication) {
    LoadList(DiskImageList, "DiskImageList");
    LoadList(DiskStatImageList, "DiskStatImageList");
    LoadList(DuplicateImages, "DuplicateImages");
    LoadList(MinMaxImageList, "MinMaxImageList");
    LoadList(UpdateRegs, "UpdateRegs");
    LoadList(MainImageList, "MainImageList");
    LoadList(SetImages, "SetImages");
    LoadList(MainImageList_big, "MainImageList_big");
}

TDM::~TDM() {
    if (DM == this) DM = nullptr;
}

void TDM::DataModuleCreate() {
    if (MyRegistryInfo.CheckUpdate) CheckForUpdate(false);
}

void TDM::CheckForUpdate(bool ShowProgress) {
    std::unique_ptr<TShowLiveUpdateForm> Wait;
    auto FreeWait = [&] {
        Wait.reset();
        ShowLiveUpdateForm = nullptr;
    };
    try {
        if (ShowProgress) {
            Wait = std::make_unique<TShowLiveUpdateForm>();
            ShowLiveUpdateForm = Wait.get();
            Wait->ShowAndPaint();
        }
        const bool Newer = IsNewerVersionAvailable();
        FreeWait();
        if (Newer) {
            const int Answer = plat::MessageBox(
                "A newer version of Corvane is available, Corvane will shut down to install the newer version.\n"
                "Would you like to update now?",
                "Corvane", plat::MB_YESNO | plat::MB_ICONINFORMATION);
            if (Answer == plat::IDYES) {
                const std::string Folder = plat::ProgramFolder();
                std::string Updater = Folder + "corvaneUpdate";
                if (!QFileInfo::exists(QString::fromStdString(Updater))) Updater += ".exe";
                // Run, not opened as a document. Whether it started is not
                // looked at: the program ends either way.
                plat::ShellRun(Updater);
                if (Terminate) Terminate();
            }
        } else if (ShowProgress) {
            plat::MessageBox("There are no updates available at this time.\nYour Corvane is up-to-date.", "Corvane",
                             plat::MB_OK | plat::MB_ICONINFORMATION);
        }
    } catch (const plat::EAbort&) {
        FreeWait();
    } catch (const std::exception& E) {
        // No exception may cross the event loop: show it as the default display would.
        FreeWait();
        plat::ShowException(E);
    }
}

bool TDM::IsNewerVersionAvailable() {
    const std::string URL = UpdateSite + UpdateFilePath;
    // The local copy lives in the user's cache, in a folder "update" made as
    // an installer would make it: the program folder is often not writable.
    // A folder that cannot be made shows when the file is created.
    const std::string Folder = plat::CacheHome() + "/corvane/update";
    plat::MakeFolders(Folder);
    const std::string Local = Folder + "/Update.xml";
    DownloadToFile(URL, Local);

    // A file that is not the expected XML publishes no version.
    QFile In(QString::fromStdString(Local));
    if (!In.open(QIODevice::ReadOnly)) return false;
    const QByteArray Data = In.read(IdHTTP1.MaxBodySize + 1);
    In.close();
    if (Data.size() > IdHTTP1.MaxBodySize) return false;
    QDomDocument Doc;
    if (!Doc.setContent(Data)) return false;
    const QDomElement Soft = Doc.firstChildElement("updateinformation").firstChildElement("softver");
    if (Soft.isNull()) return false;
    const std::string Published = Soft.text().trimmed().toStdString();
    if (!IsWellFormedVersion(Published)) return false;
    if (AppVersion.empty()) return true;
    return CompareVersions(Published, AppVersion) > 0;
}

void TDM::DownloadToFile(const std::string& URL, const std::string& FileName) {
    // The body goes to a temporary file beside FileName that replaces it only
    // when complete: a failed download keeps the old copy, a shorter one
    // leaves no remainder of it.
    QSaveFile Out(QString::fromStdString(FileName));
    if (!Out.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot create file \"" + FileName + "\". " + Out.errorString().toStdString());
    IdHTTP1.HandleRedirects = true;
    IdHTTP1.ContentRangeStart = 0;
    try {
        IdHTTP1.Get(URL, [&Out](const char* Data, size_t Size) {
            return Out.write(Data, qint64(Size)) == qint64(Size);
        });
    } catch (const EHttpError&) {
        Out.cancelWriting();
        throw plat::EAbort();
    }
    if (!Out.commit())
        throw std::runtime_error("Cannot create file \"" + FileName + "\". " + Out.errorString().toStdString());
}
