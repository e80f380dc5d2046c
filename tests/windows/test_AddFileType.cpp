// The custom file types: the file, the rows worth saving, and the window.
#include <QApplication>
#include <QKeyEvent>
#include <cstdio>

#include <gtest/gtest.h>

#include "common/TempTree.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/widgets/MessageBox.h"
#include "windows/AddFileTypeUnit.h"

namespace {

using corvane_test::TempTree;
using TTypes = std::vector<TCustomFileType>;

// Section "File Type" only, in file order, a name met again in any letter
// case keeping its first value; no line cut by the size limit; a file that
// cannot be written throws.
TEST(CustomIni, ReadsTheSectionInFileOrder) {
    TempTree T;
    const std::string Cut = "[File Type]\nFirst=*.a\n" + std::string(MaxCustomIniBytes - 25, 'x') + "=*.b\nLast=*.c\n";
    const std::pair<std::string, TTypes> Cases[] = {
        {"[Other]\nA=*.a\n[ file type ]\r\n  B = *.b \r\n;C=*.c\nplain\n=*.x\nb=*.c\nOdd=*.a=b\nNone=\n[More]\nD=*.d\n",
         {{"B", "*.b"}, {"Odd", "*.a=b"}, {"None", ""}}},
        {Cut, {{"First", "*.a"}}},
        {"", {}}};
    for (const auto& [Text, Types] : Cases) EXPECT_EQ(ReadCustomFileTypes(T.File("custom.ini", {.Content = Text})), Types);
    EXPECT_TRUE(ReadCustomFileTypes(T.Path("missing.ini")).empty() && ReadCustomFileTypes(T.Dir("folder")).empty());
    EXPECT_THROW(WriteCustomFileTypes(T.Path("folder"), {{"A", "*.a"}}), std::runtime_error);
}

// The rows worth saving, in grid order: trimmed, the filter in lower case
// (A to Z only), a filter "*." and more, a name once in any letter case. A
// row the file could not keep refuses them all and names its index.
TEST(CustomIni, CollectsTheRowsWorthSaving) {
    int Refused = 99;
    EXPECT_EQ(CollectCustomFileTypes({{" Audio ", "  *.MP3 "}, {"A", "*."}, {"B", "mp3"}, {"C", ".mp3"}, {"", "*.x"},
                                      {"E", " * .z"}, {"AUDIO", "*.ogg"}, {"Ü", "*.ÄB;*.Png"}, {"Odd", "*.a=b"},
                                      {"Audio [old]", "*.b"}, {"x=y", ""}},
                                     Refused),
              (TTypes{{"Audio", "*.mp3"}, {"Ü", "*.Äb;*.png"}, {"Odd", "*.a=b"}, {"Audio [old]", "*.b"}}));
    EXPECT_EQ(Refused, -1);
    for (const TFileTypeRow& Unsafe : std::vector<TFileTypeRow>{{"x=y", "*.b"}, {"[File Type]", "*.b"}, {";x", "*.b"},
                                                                {"a\nb", "*.b"}, {"a", "*.b\r\nc=*.d"}}) {
        EXPECT_TRUE(CollectCustomFileTypes({{"A", "*.a"}, Unsafe}, Refused).empty()) << Unsafe.Name;
        EXPECT_EQ(Refused, 1) << Unsafe.Name;
    }
}

class AddFileTypeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetProgramFolderForTests(T.Dir("program") + "/");
        plat::TRegistry::SetStoreFolder(T.Path("config"));
        plat::SetMessageBoxHandler([this](const std::string& Text, auto, auto) { return Boxes.push_back(Text), plat::IDOK; });
    }
    void TearDown() override {
        plat::SetProgramFolderForTests("");
        plat::TRegistry::SetStoreFolder("");
        plat::SetMessageBoxHandler(nullptr);
    }
    void Key(int K) {
        QKeyEvent E(QEvent::KeyPress, K, Qt::NoModifier);
        QApplication::sendEvent(F.vlstFileType, &E);
    }
    TempTree T;
    std::vector<std::string> Boxes;
    TfrmAddFileType F;
};

// A refused name (a box, its row current, nothing written); Cancel; Enter in
// the grid opens an editor, and its text is saved by OK; no valid row (the
// last one emptied, not removed, by Delete) empties the file, the window stays.
TEST_F(AddFileTypeWindow, EditingRefusingAndSaving) {
    const std::string Old = "[File Type]\r\nAudio=*.mp3\r\n";
    T.File("config/custom.ini", {.Content = Old});
    F.show();
    TValueListGrid* G = F.vlstFileType;
    G->SetRow(1, "Mine=Yours", "*.mine");
    F.btnSave->click();
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(F.isVisible() && G->currentRow() == 1);
    F.btnCancel->click();
    EXPECT_FALSE(F.isVisible());
    EXPECT_EQ(T.Read("config/custom.ini"), Old);

    F.show();
    G->SetRow(1, "", "");
    G->SetRow(0, "Video", "");
    QApplication::setActiveWindow(&F);
    G->setFocus();
    G->setCurrentCell(0, 1);
    Key(Qt::Key_Return);  // opens an editor, saves nothing
    QWidget* Editor = QApplication::focusWidget();
    ASSERT_TRUE(Editor && G->isAncestorOf(Editor) && F.isVisible());
    for (const char C : std::string("*.AVI")) {
        QKeyEvent E(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(C)));
        QApplication::sendEvent(Editor, &E);
    }
    F.btnSave->click();
    EXPECT_EQ(T.Read("config/custom.ini"), "[File Type]\r\nVideo=*.avi\r\n");
    F.show();
    G->setRowCount(1);
    G->setCurrentCell(0, 0);
    Key(Qt::Key_Delete);  // the last row is emptied, not removed
    EXPECT_TRUE(G->rowCount() == 1 && G->Rows()[0].Name.empty());
    F.btnSave->click();
    EXPECT_EQ(T.Read("config/custom.ini"), "[File Type]\r\n");
    EXPECT_TRUE(F.isVisible() && Boxes.size() == 1);
}

// The program folder's "custom.ini" of earlier versions is read where it is
// while the settings folder cannot be made, then taken over once: it is
// never read again, nor copied over what the user saved since.
TEST_F(AddFileTypeWindow, TheProgramFoldersOldFileIsTakenOverOnce) {
    T.File("program/custom.ini", {.Content = "[File Type]\r\nAudio=*.mp3\r\n"});
    T.File("config", {.Content = "a file where the settings folder should be"});
    EXPECT_EQ(ReadCustomFileTypes(CustomIniToRead()), (TTypes{{"Audio", "*.mp3"}}));
    std::remove(T.Path("config").c_str());
    F.show();
    EXPECT_EQ(T.Read("config/custom.ini"), "[File Type]\r\nAudio=*.mp3\r\n");
    F.vlstFileType->SetRow(0, "Video", "*.avi");
    F.btnSave->click();
    EXPECT_EQ(ReadCustomFileTypes(CustomIniToRead()), (TTypes{{"Video", "*.avi"}}));
    EXPECT_EQ(T.Read("program/custom.ini"), "[File Type]\r\nAudio=*.mp3\r\n");  // left as it was
}

} // namespace
