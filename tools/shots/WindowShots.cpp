// Pictures of the main window for a person to look at: every mode and page,
// then runs on a small tree with the sample songs and pictures.
//
//   corvane-shots FOLDER
//
// The window works on a temporary tree shown as the drive "Data"; home,
// settings, data and runtime folders are temporary too, and every question
// is answered Yes. tools/shots/take-shots.sh builds it and runs it under Xvfb.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "finder/window/DeleteDuplicatesUnit.h"
#include "frame/StartupUnit.h"
#include "platform/MountTable.h"
#include "platform/widgets/MessageBox.h"
#include "windows/DMUnit.h"

namespace fs = std::filesystem;

namespace {

// The system's root and the temporary tree, nothing else.
class TShotMounts : public plat::IMountTable {
public:
    explicit TShotMounts(std::string Data) : FData(std::move(Data)) {}
    std::vector<plat::TMountEntry> Mounts() override {
        plat::TMountEntry Root{"/", "ext4", "/dev/shots", "System", plat::TMountKind::Fixed, true, 1 << 30};
        plat::TMountEntry Data{FData, "ext4", "/dev/shots", "Data", plat::TMountKind::Fixed, true, 1 << 30};
        return {Root, Data};
    }

private:
    std::string FData;
};

void WriteFile(const fs::path& Path, const std::string& Bytes) {
    fs::create_directories(Path.parent_path());
    std::ofstream(Path, std::ios::binary) << Bytes;
}

void CopySample(const std::string& Name, const fs::path& To) {
    fs::create_directories(To.parent_path());
    fs::copy_file(fs::path(CORVANE_SAMPLES) / Name, To, fs::copy_options::overwrite_existing);
}

TPlaceNode* ChildNamed(TPlaceNode* Node, const QString& Text) {
    for (int I = 0; Node && I < Node->Count(); ++I)
        if (Node->Child(I)->Text() == Text) return Node->Child(I);
    return nullptr;
}

class TShots {
public:
    TShots(TDeleteDuplicatesForm& Form, QString Folder, fs::path Tree)
        : F(Form), FFolder(std::move(Folder)), FTree(std::move(Tree)) {}

    bool Save(const QString& Name) {
        QApplication::processEvents();
        const QString Path = FFolder + "/" + Name + ".png";
        const bool Ok = F.grab().save(Path);
        std::printf("%s %s\n", Ok ? "wrote" : "could not write", qPrintable(Path));
        Failed = Failed || !Ok;
        return Ok;
    }

    TPlaceNode* Data() { return ChildNamed(F.tvDiskDir->Root(), "Data"); }

    // Lists the drive and ticks these folders of it.
    void Tick(std::initializer_list<QString> Folders) {
        F.ExpandPlaceNode(Data());
        for (const QString& Folder : Folders)
            if (TPlaceNode* Node = ChildNamed(Data(), Folder)) Node->StateIndex = places::StateTicked;
        F.tvDiskDir->viewport()->update();
    }

    void Modes() {
        const char* Names[] = {"", "basic", "outlook", "music", "photo", "crush"};
        for (int Mode = 1; Mode <= 5; ++Mode) {
            F.SwitchMode(uint16_t(Mode));
            Tick({"Music"});
            if (Mode == 5)
                for (const char* P : {"/home/anna/old-tax-return.pdf", "/home/anna/Private"}) {
                    auto* It = new QTreeWidgetItem(F.EraseListView, {P, P[11] == 'P' ? "Folder" : "File"});
                    It->setCheckState(0, Qt::Checked);
                }
            Save(QString("mode%1-%2").arg(Mode).arg(Names[Mode]));
        }
        F.SwitchMode(2);
        F.rbLinkman->click();
        Save("mode2-contacts");
        F.SwitchMode(3);
        F.rbScanTitle->click();
        Save("mode3-title");
        F.SwitchMode(4);
        F.rbScanSimilar->click();
        Save("mode4-similar");
        F.SwitchMode(1);
        F.rbCustom->click();
        F.MinBtnMouseEnter(F.MusicBtn);
        F.labUpdateMouseEnter(F.labOptions);
        Save("mode1-custom-hover");
        F.MinBtnMouseLeave(F.MusicBtn);
        F.labUpdateMouseLeave(F.labOptions);
    }

    void Runs() {
        F.SwitchMode(1);
        // The scanning page, as the walk shows it.
        F.PumpIntervalMs = 0;
        bool Taken = false;
        F.OnProcessMessages = [&] {
            if (Taken || F.ScanMessage->text().isEmpty()) return;
            Taken = true;
            Save("run1-scanning");
        };
        Tick({"Documents", "Backup"});
        F.ScanNowButtonClick(nullptr);
        F.OnProcessMessages = nullptr;
        F.cbSelectAllDel->click();
        F.DuplicatesListView->selectionModel()->select(F.DuplicatesListView->model()->index(3, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Save("run2-results-basic");
        // One ticked file vanishes before the deletion: a "Failed" line.
        fs::remove(FTree / "Documents/Reports/2010/summary.txt");
        F.DeleteButtonClick(nullptr);
        Save("run3-summary");
        F.FinishButtonClick(nullptr);

        F.SwitchMode(3);
        F.rbScanTitle->click();
        Tick({"Music"});
        F.ScanNowButtonClick(nullptr);
        Save("run4-results-music");
        F.BackButtonClick(nullptr);

        F.SwitchMode(4);
        F.rbScanSimilar->click();
        Tick({"Pictures"});
        F.ScanNowButtonClick(nullptr);
        Save("run5-results-photo");
    }

    bool Failed = false;

private:
    TDeleteDuplicatesForm& F;
    QString FFolder;
    fs::path FTree;
};

// Reports, budgets and two large copies; songs and pictures from the samples.
void MakeTree(const fs::path& Tree) {
    for (int I = 0; I < 12; ++I) {
        const fs::path D = Tree / "Documents/Reports" / std::to_string(2010 + I);
        WriteFile(D / "summary.txt", "summary " + std::to_string(I % 3));
        WriteFile(D / ("budget-" + std::to_string(I % 4) + ".ods"), std::string(size_t(2000 + I * 700), 'b'));
        fs::last_write_time(D / "summary.txt", fs::file_time_type::clock::now() - std::chrono::hours(24 * (12 - I)));
    }
    WriteFile(Tree / "Documents/big.iso", std::string(3u << 20, 'i'));
    WriteFile(Tree / "Backup/big.iso", std::string(3u << 20, 'i'));
    for (const char* S : {"vorbis_tags.ogg", "flac_tags.flac", "id3v23_latin1.mp3", "rm_tags.rm"}) {
        CopySample(std::string("music/") + S, Tree / "Music" / S);
        CopySample(std::string("music/") + S, Tree / "Music/Copies" / S);
    }
    for (const char* S : {"photo.png", "photo.bmp", "photo_q90.jpg", "photo_negative.png", "photo_q50.jpg"})
        CopySample(std::string("pictures/") + S, Tree / "Pictures" / S);
    fs::create_directories(Tree / ".cache");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QTemporaryDir Home;
    for (const char* Name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
        const QString Path = Home.path() + "/" + Name;
        QDir().mkpath(Path);
        QFile::setPermissions(Path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(Name, Path.toLocal8Bit());
    }
    QApplication App(argc, argv);
    const QString Folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(Folder)) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(Folder));
        return 1;
    }
    const fs::path Tree = fs::path(Home.path().toStdString()) / "Data";
    MakeTree(Tree);
    plat::SetMountTable(std::make_shared<TShotMounts>(Tree.string()));
    plat::SetMessageBoxHandler([](const std::string&, const std::string&, unsigned Flags) {
        return (Flags & 0x0f) == plat::MB_YESNO ? plat::IDYES : plat::IDOK;
    });
    AppVersion = CORVANE_FILE_VERSION;
    DM = new TDM();
    int Result = 0;
    {
        TDeleteDuplicatesForm Form;
        Form.show();
        TShots Shots(Form, Folder, Tree);
        Shots.Modes();
        Shots.Runs();
        Result = Shots.Failed ? 1 : 0;
    }
    delete DM;
    DM = nullptr;
    plat::SetMountTable(nullptr);
    return Result;
}
