// Music and Photo runs through the window on the sample files: songs grouped
// by title (and artist) in every format, pictures grouped with their copies
// at the default likeness while the negative stays out.
#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/finder/window/ScanWindowSupport.h"

using namespace corvane_test;

namespace {

void Copy(const std::string& From, const std::string& To) {
    std::filesystem::create_directories(std::filesystem::path(To).parent_path());
    std::filesystem::copy_file(From, To, std::filesystem::copy_options::overwrite_existing);
}

std::string Music(const std::string& Name) { return std::string(CORVANE_MUSIC_SAMPLES) + "/" + Name; }
std::string Picture(const std::string& Name) { return std::string(CORVANE_PICTURE_SAMPLES) + "/" + Name; }

} // namespace

class MusicScanTest : public ScanWindowTest {
protected:
    void SetUp() override {
        // Each format twice under another name, and one title in two formats.
        const std::pair<const char*, const char*> Pairs[] = {
            {"id3v23_latin1.mp3", "mp3"}, {"tags_padded.wma", "wma"}, {"rm_tags.rm", "rm"},
            {"vorbis_tags.ogg", "ogg"},   {"flac_tags.flac", "flac"},
        };
        for (const auto& [Sample, Ext] : Pairs) {
            Copy(Music(Sample), Tree.Path(std::string("x/song.") + Ext));
            Copy(Music(Sample), Tree.Path(std::string("y/copy.") + Ext));
        }
        // "Padded Title" by another artist than the Ogg file's.
        Copy(Music("vorbis_padded.ogg"), Tree.Path("z/padded.ogg"));
        Copy(Music("flac_picture.flac"), Tree.Path("z/padded.flac"));
        ScanWindowTest::SetUp();
        SendClick(Form->MusicBtn);
        ClickOption(Form->rbScanTitle);
    }

    // Header caption's file name -> the member file names, sorted.
    std::map<std::string, std::vector<std::string>> Groups() {
        std::map<std::string, std::vector<std::string>> Out;
        const auto R = Rows();
        for (size_t I = 0; I < R.size(); ++I) {
            if (!R[I].Header()) continue;
            std::vector<std::string> M;
            for (const std::string& C : Members(int(I))) M.push_back(C.substr(Tree.Root().size() + 1));
            std::sort(M.begin(), M.end());
            Out[M.front()] = M;
        }
        return Out;
    }
};

TEST_F(MusicScanTest, SameTitlesGroupInEveryFormat) {
    ASSERT_EQ(Form->FMode, 3);
    ASSERT_TRUE(Form->rbScanTitle->Checked());
    TickDataAndScan();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    const auto G = Groups();
    for (const char* Ext : {"mp3", "wma", "rm"})
        EXPECT_EQ(G.count(std::string("x/song.") + Ext), 1u) << Ext;
    // "Song One" in Ogg and FLAC: one group of four.
    ASSERT_EQ(G.count("x/song.flac"), 1u);
    EXPECT_EQ(G.at("x/song.flac"),
              (std::vector<std::string>{"x/song.flac", "x/song.ogg", "y/copy.flac", "y/copy.ogg"}));
    ASSERT_EQ(G.count("z/padded.flac"), 1u);
    EXPECT_EQ(G.at("z/padded.flac"), (std::vector<std::string>{"z/padded.flac", "z/padded.ogg"}));
    EXPECT_EQ(G.size(), 5u);
    // Song-title rows show the full path, size and dates.
    const auto R = Rows();
    EXPECT_EQ(R[1].Caption.rfind(Tree.Root(), 0), 0u);
    EXPECT_FALSE(R[1].SubItems[1].empty());
}

TEST_F(MusicScanTest, SameArtistKeepsOtherArtistsApart) {
    ClickOption(Form->cbMailSender);
    ASSERT_TRUE(Form->cbMailSender->Checked());
    ASSERT_EQ(Form->cbMailSender->text(), "Same artist");
    TickDataAndScan();
    const auto G = Groups();
    EXPECT_EQ(G.count("x/song.flac"), 1u);  // Artist A in both formats
    EXPECT_EQ(G.count("z/padded.flac"), 0u);
    EXPECT_EQ(G.size(), 4u);
}

TEST_F(MusicScanTest, RealMediaWarningsReachTheUserAndTheRunGoesOn) {
    // A RealMedia file header followed by a chunk of unknown kind.
    {
        std::ifstream In(Music("rm_tags.rm"), std::ios::binary);
        char Head[18];
        In.read(Head, sizeof Head);
        std::ofstream Out(Tree.Path("z/odd.rm"), std::ios::binary);
        Out.write(Head, sizeof Head);
        Out.write("JUNK\0\0\0\x0a\0\0", 10);
    }
    TickDataAndScan();
    ASSERT_FALSE(Boxes.empty());
    EXPECT_EQ(Boxes[0].Caption, "未知的文件格式");
    EXPECT_EQ(Boxes[0].Flags, unsigned(plat::MB_OK | plat::MB_ICONWARNING));
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Form->FRunState, rsFinished);
}

class PhotoScanTest : public ScanWindowTest {
protected:
    void SetUp() override {
        for (const char* Name : {"photo.png", "photo.bmp", "photo_q90.jpg", "photo_negative.png"})
            Copy(Picture(Name), Tree.Path(std::string("pics/") + Name));
        ScanWindowTest::SetUp();
        SendClick(Form->PhotoBtn);
        ClickOption(Form->rbScanSimilar);
    }
};

TEST_F(PhotoScanTest, CopiesGroupAtNinetyAndTheNegativeStaysOut) {
    ASSERT_EQ(Form->FMode, 4);
    ASSERT_TRUE(Form->chkSimilarty->Checked());
    ASSERT_EQ(Form->edtSimilarity->text(), "90");
    TickDataAndScan();
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Form->DuplicatesListView->Column(3).Caption, "Similarity");
    const auto R = Rows();
    ASSERT_EQ(R.size(), 4u);
    EXPECT_TRUE(R[0].Header());
    EXPECT_EQ(R[0].SubItems[0], "3  files");
    std::vector<std::string> M = Members(0);
    for (std::string& C : M) C = C.substr(Tree.Root().size() + 1);
    std::sort(M.begin(), M.end());
    EXPECT_EQ(M, (std::vector<std::string>{"pics/photo.bmp", "pics/photo.png", "pics/photo_q90.jpg"}));
    for (size_t I = 1; I < R.size(); ++I) {
        EXPECT_NE(R[I].Caption.find("pics/photo"), std::string::npos);
        EXPECT_EQ(R[I].SubItems[2].back(), '%');
        EXPECT_GE(std::stod(R[I].SubItems[2]), 90.0) << R[I].SubItems[2];
    }
}

TEST_F(PhotoScanTest, SameNameInPhotoModeShowsFullPaths) {
    ClickOption(Form->rbScanFileName);
    Copy(Picture("photo.png"), Tree.Path("other/photo.png"));
    TickDataAndScan();
    EXPECT_EQ(Form->DuplicatesListView->Column(3).Caption, "Created");
    ASSERT_EQ(Rows().size(), 3u);
    EXPECT_EQ(Rows()[0].Caption, "photo.png");
    std::vector<std::string> M = Members(0);
    std::sort(M.begin(), M.end());
    EXPECT_EQ(M, (std::vector<std::string>{Tree.Path("other/photo.png"), Tree.Path("pics/photo.png")}));
}

// Pictures of the run's pages, for a person to look at:
// CORVANE_SHOTS=<folder> test_finder_window_scan --gtest_filter='*RunShots*'
TEST_F(ScanWindowTest, RunShots) {
    const QString Folder = QString::fromLocal8Bit(qgetenv("CORVANE_SHOTS"));
    if (Folder.isEmpty()) GTEST_SKIP() << "set CORVANE_SHOTS to a folder to take the pictures";
    QDir().mkpath(Folder);
    auto Save = [&](const QString& Name) {
        QApplication::processEvents();
        EXPECT_TRUE(Form->grab().save(Folder + "/" + Name + ".png")) << Name.toStdString();
    };
    for (int I = 0; I < 12; ++I) {
        const std::string D = "Documents/Reports/" + std::to_string(2010 + I);
        Tree.File(D + "/summary.txt", {.Content = "summary " + std::to_string(I % 3), .MTime = 1500000000 + I * 9000});
        Tree.File(D + "/budget-" + std::to_string(I % 4) + ".ods", {.Content = std::string(size_t(2000 + I * 700), 'b')});
    }
    Tree.File("Documents/big.iso", {.Size = 3u << 20});
    Tree.File("Backup/big.iso", {.Size = 3u << 20});

    // The scanning page, as the walk shows it.
    Form->PumpIntervalMs = 0;
    bool Taken = false;
    Form->OnProcessMessages = [&] {
        if (Taken || Form->ScanMessage->text().isEmpty()) return;
        Taken = true;
        Form->abScanTime->setText("00:00:07");
        Save("run1-scanning");
    };
    ClickNode(Drive("Data"), NodePart::State);
    SendClick(Form->ScanNowButton);
    Form->OnProcessMessages = nullptr;
    ClickLeftEdge(Form->cbSelectAllDel);
    Form->DuplicatesListView->selectionModel()->select(Form->DuplicatesListView->model()->index(3, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Save("run2-results-basic");

    QTemporaryDir Data;
    const QByteArray OldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());
    Answers = {plat::IDYES};
    // One ticked file vanishes before the deletion: a "Failed" line.
    for (const TShownRow& R : Rows())
        if (!R.Header() && R.Image == 1) {
            std::filesystem::remove(R.Caption + "summary.txt");
            break;
        }
    SendClick(Form->DeleteButton);
    qputenv("XDG_DATA_HOME", OldData);
    Save("run3-summary");
    SendClick(Form->FinishButton);

    for (const char* S : {"vorbis_tags.ogg", "flac_tags.flac", "id3v23_latin1.mp3", "rm_tags.rm"}) {
        Copy(Music(S), Tree.Path(std::string("Music/") + S));
        Copy(Music(S), Tree.Path(std::string("Music/Copies/") + S));
    }
    SendClick(Form->MusicBtn);
    ClickLeftEdge(Form->rbScanTitle);
    ClickNode(Drive("Data"), NodePart::Label);
    ClickNode(ChildNamed(Drive("Data"), "Music"), NodePart::State);
    SendClick(Form->ScanNowButton);
    Save("run4-results-music");

    for (const char* S : {"photo.png", "photo.bmp", "photo_q90.jpg", "photo_negative.png", "photo_q50.jpg"})
        Copy(Picture(S), Tree.Path(std::string("Pictures/") + S));
    SendClick(Form->PhotoBtn);
    ClickLeftEdge(Form->rbScanSimilar);
    ClickNode(Drive("Data"), NodePart::Label);
    ClickNode(ChildNamed(Drive("Data"), "Pictures"), NodePart::State);
    SendClick(Form->ScanNowButton);
    ClickTick(0);
    Save("run5-results-photo");
}
