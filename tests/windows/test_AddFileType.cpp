// The custom file types: the file, the rows worth saving, and the window.
#include <QApplication>
#include <QKeyEvent>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "../common/TempTree.h"
#include "platform/widgets/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "windows/AddFileTypeUnit.h"

namespace {

using corvane_test::TempTree;

std::string ReadAll(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

// ---------------------------------------------------------------------------
// Reading the file

struct TReadCase {
    const char* Label;
    std::string Content;
    std::vector<TCustomFileType> Expected;
};

class ReadFile : public ::testing::TestWithParam<TReadCase> {};

TEST_P(ReadFile, GivesNamesAndFiltersInFileOrder) {
    TempTree T;
    const std::string P = T.File("custom.ini", {.Content = GetParam().Content});
    EXPECT_EQ(ReadCustomFileTypes(P), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadFile,
    ::testing::Values(
        TReadCase{"SectionOnly", "[File Type]\r\n", {}},
        TReadCase{"Empty", "", {}},
        TReadCase{"Crlf", "[File Type]\r\nAudio=*.mp3\r\nText=*.txt\r\n", {{"Audio", "*.mp3"}, {"Text", "*.txt"}}},
        TReadCase{"LfAndBlanks", "[File Type]\n  Audio = *.mp3 \nText=*.txt", {{"Audio", "*.mp3"}, {"Text", "*.txt"}}},
        TReadCase{"OtherSectionsIgnored",
                  "[Other]\nA=*.a\n[ file type ]\nB=*.b\n[More]\nC=*.c\n",
                  {{"B", "*.b"}}},
        TReadCase{"RepeatedNameKeepsFirst", "[File Type]\nAudio=*.mp3\naudio=*.ogg\n", {{"Audio", "*.mp3"}}},
        TReadCase{"AbsentValueIsEmpty", "[File Type]\nAudio=\n", {{"Audio", ""}}},
        TReadCase{"NoEqualsCommentAndEmptyName", "[File Type]\n;A=*.a\nplain\n=*.x\nB=*.b\n", {{"B", "*.b"}}},
        TReadCase{"ValueKeepsLaterEquals", "[File Type]\nOdd=*.a=b\n", {{"Odd", "*.a=b"}}}),
    [](const auto& Info) { return std::string(Info.param.Label); });

TEST(ReadFileLimits, MissingFileGivesNothing) {
    TempTree T;
    EXPECT_TRUE(ReadCustomFileTypes(T.Path("custom.ini")).empty());
    EXPECT_TRUE(ReadCustomFileTypes(T.Dir("folder")).empty());
}

TEST(ReadFileLimits, OversizedFileIsReadOnlyUpToTheLimitAndNoCutLine) {
    TempTree T;
    std::string Text = "[File Type]\nFirst=*.a\n";
    // The line that crosses the limit must not be read as a shorter name.
    Text += std::string(MaxCustomIniBytes - Text.size() - 3, 'x') + "=*.b\nLast=*.c\n";
    const std::string P = T.File("custom.ini", {.Content = Text});
    EXPECT_EQ(ReadCustomFileTypes(P), (std::vector<TCustomFileType>{{"First", "*.a"}}));
}

// ---------------------------------------------------------------------------
// The rows worth saving

struct TCollectCase {
    const char* Label;
    std::vector<TFileTypeRow> Rows;
    std::vector<TCustomFileType> Expected;
    int Refused;
};

class Collect : public ::testing::TestWithParam<TCollectCase> {};

TEST_P(Collect, KeepsValidRowsInGridOrder) {
    int Refused = 99;
    EXPECT_EQ(CollectCustomFileTypes(GetParam().Rows, Refused), GetParam().Expected);
    EXPECT_EQ(Refused, GetParam().Refused);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Collect,
    ::testing::Values(
        TCollectCase{"TrimmedAndLowered", {{" Audio ", "  *.MP3 "}}, {{"Audio", "*.mp3"}}, -1},
        TCollectCase{"OnlyAsciiLowered", {{"Ü", "*.ÄB"}}, {{"Ü", "*.Äb"}}, -1},
        TCollectCase{"InvalidDropped",
                     {{"A", "*."}, {"B", "mp3"}, {"C", ".mp3"}, {"D", ""}, {"", "*.x"}, {"  ", "*.y"}, {"E", " * .z"},
                      {"F", "*.f"}},
                     {{"F", "*.f"}},
                     -1},
        TCollectCase{"NothingValid", {{"", ""}, {"A", "*."}}, {}, -1},
        TCollectCase{"RepeatedNameFirstWins",
                     {{"Audio", "*.mp3"}, {"AUDIO", "*.ogg"}, {"Video", "*.avi"}},
                     {{"Audio", "*.mp3"}, {"Video", "*.avi"}},
                     -1},
        TCollectCase{"RepeatAfterInvalidRowCounts", {{"Audio", "mp3"}, {"audio", "*.ogg"}}, {{"audio", "*.ogg"}}, -1},
        TCollectCase{"SeveralPatternsKeptAsTyped", {{"Pics", "*.JPG;*.png"}}, {{"Pics", "*.jpg;*.png"}}, -1},
        TCollectCase{"FilterMayHoldEquals", {{"Odd", "*.a=b"}}, {{"Odd", "*.a=b"}}, -1},
        TCollectCase{"NameWithEquals", {{"A", "*.a"}, {"x=y", "*.b"}}, {}, 1},
        TCollectCase{"NameWithBracket", {{"[File Type]", "*.b"}}, {}, 0},
        TCollectCase{"NameWithInnerBracket", {{"Audio [old]", "*.b"}}, {{"Audio [old]", "*.b"}}, -1},
        TCollectCase{"NameWithComment", {{";x", "*.b"}}, {}, 0},
        TCollectCase{"NameWithLineBreak", {{"a\nb", "*.b"}}, {}, 0},
        TCollectCase{"FilterWithLineBreak", {{"a", "*.b\r\nc=*.d"}}, {}, 0},
        // A row that is dropped anyway cannot harm the file.
        TCollectCase{"UnsafeButDroppedRow", {{"x=y", ""}, {"A", "*.a"}}, {{"A", "*.a"}}, -1}),
    [](const auto& Info) { return std::string(Info.param.Label); });

// ---------------------------------------------------------------------------
// Writing the file

TEST(WriteFile, WritesSectionThenOneLinePerTypeAndReadsBack) {
    TempTree T;
    const std::string P = T.File("custom.ini", {.Content = "[File Type]\r\nOld=*.old\r\nMore=*.more\r\n"});
    const std::vector<TCustomFileType> Types{{"Audio", "*.mp3"}, {"Text", "*.txt"}};
    WriteCustomFileTypes(P, Types);
    EXPECT_EQ(ReadAll(P), "[File Type]\r\nAudio=*.mp3\r\nText=*.txt\r\n");
    EXPECT_EQ(ReadCustomFileTypes(P), Types);

    WriteCustomFileTypes(P, {});
    EXPECT_EQ(ReadAll(P), "[File Type]\r\n");
}

TEST(WriteFile, FailureIsThrownAndKeepsTheOldFile) {
    TempTree T;
    // A folder where the file should be: no user, root included, can write it.
    const std::string P = T.Dir("custom.ini");
    EXPECT_THROW(WriteCustomFileTypes(P, {{"A", "*.a"}}), std::runtime_error);
    EXPECT_THROW(WriteCustomFileTypes(T.Path("missing/custom.ini"), {}), std::runtime_error);
}

// ---------------------------------------------------------------------------
// The window

class AddFileTypeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetProgramFolderForTests(T.Dir("program") + "/");
        plat::TRegistry::SetStoreFolder(T.Path("config"));  // made by the first save
        plat::SetMessageBoxHandler([this](const std::string& Text, const std::string& Caption, unsigned Flags) {
            Boxes.push_back(Caption + "|" + Text + "|" + std::to_string(Flags));
            return plat::IDOK;
        });
    }
    void TearDown() override {
        plat::SetProgramFolderForTests("");
        plat::TRegistry::SetStoreFolder("");
        plat::SetMessageBoxHandler(nullptr);
    }
    std::string Ini() const { return T.Path("config/custom.ini"); }
    static void Type(TfrmAddFileType& F, int Row, const char* Name, const char* Value) {
        F.vlstFileType->SetRow(Row, Name, Value);
    }
    static void Key(QWidget* W, int K) {
        QKeyEvent E(QEvent::KeyPress, K, Qt::NoModifier);
        QApplication::sendEvent(W, &E);
    }

    TempTree T;
    std::vector<std::string> Boxes;
};

TEST_F(AddFileTypeWindow, OpensWithEmptyRowsAndTheOkButtonFocused) {
    TfrmAddFileType F;
    F.show();
    EXPECT_EQ(F.FIniFileName, Ini());
    EXPECT_EQ(F.focusWidget(), F.btnSave);
    ASSERT_EQ(F.vlstFileType->rowCount(), 21);
    for (const TFileTypeRow& R : F.vlstFileType->Rows()) EXPECT_TRUE(R.Name.empty() && R.Value.empty());
}

TEST_F(AddFileTypeWindow, ThirtySavedTypesAreAllListedAgain) {
    {
        TfrmAddFileType F;
        F.show();
        for (int I = 0; I < 30; ++I) Type(F, I, ("Type" + std::to_string(I)).c_str(), ("*.T" + std::to_string(I)).c_str());
        F.btnSave->click();
        EXPECT_EQ(F.result(), QDialog::Accepted);
        EXPECT_FALSE(F.isVisible());
    }
    TfrmAddFileType F;
    F.show();
    const std::vector<TFileTypeRow> Rows = F.vlstFileType->Rows();
    ASSERT_EQ(Rows.size(), 30u);
    for (int I = 0; I < 30; ++I) {
        EXPECT_EQ(Rows[I].Name, "Type" + std::to_string(I));
        EXPECT_EQ(Rows[I].Value, "*.t" + std::to_string(I));
    }
}

TEST_F(AddFileTypeWindow, FewTypesFillTheFirstRowsAndLeaveTheRestEmpty) {
    T.File("config/custom.ini", {.Content = "[File Type]\r\nAudio=*.mp3\r\n"});
    TfrmAddFileType F;
    F.show();
    const std::vector<TFileTypeRow> Rows = F.vlstFileType->Rows();
    ASSERT_EQ(Rows.size(), 21u);
    EXPECT_EQ(Rows[0].Name, "Audio");
    EXPECT_EQ(Rows[0].Value, "*.mp3");
    EXPECT_TRUE(Rows[1].Name.empty());
}

TEST_F(AddFileTypeWindow, TheProgramFoldersOldFileIsTakenOverOnce) {
    const std::string Old = "[File Type]\r\nAudio=*.mp3\r\n";
    T.File("program/custom.ini", {.Content = Old});
    T.File("config", {.Content = "a file where the settings folder should be"});
    {
        TfrmAddFileType F;  // the new place cannot be made: the old file is read where it is
        F.show();
        EXPECT_EQ(F.vlstFileType->Rows()[0].Name, "Audio");
    }
    std::remove(T.Path("config").c_str());
    TfrmAddFileType F;
    F.show();
    EXPECT_EQ(F.vlstFileType->Rows()[0].Name, "Audio");
    EXPECT_EQ(ReadAll(Ini()), Old);
    Type(F, 0, "", "");
    Type(F, 1, "Video", "*.avi");
    F.btnSave->click();
    EXPECT_EQ(ReadAll(Ini()), "[File Type]\r\nVideo=*.avi\r\n");
    EXPECT_EQ(CustomIniToRead(), Ini());
    EXPECT_EQ(ReadAll(T.Path("program/custom.ini")), Old);  // left as it was, never read again
}

TEST_F(AddFileTypeWindow, NoValidRowEmptiesTheFileAndStaysOpen) {
    T.File("config/custom.ini", {.Content = "[File Type]\r\nAudio=*.mp3\r\n"});
    TfrmAddFileType F;
    F.show();
    Type(F, 0, "", "");  // the user deleted the only type
    Type(F, 1, "Bad", "mp3");
    F.btnSave->click();
    EXPECT_EQ(ReadAll(Ini()), "[File Type]\r\n");
    EXPECT_TRUE(F.isVisible());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(AddFileTypeWindow, CancelWritesNothing) {
    const std::string Old = "[File Type]\r\nAudio=*.mp3\r\n";
    T.File("config/custom.ini", {.Content = Old});
    TfrmAddFileType F;
    F.show();
    Type(F, 0, "Video", "*.avi");
    F.btnCancel->click();
    EXPECT_EQ(F.result(), QDialog::Rejected);
    EXPECT_FALSE(F.isVisible());
    EXPECT_EQ(ReadAll(Ini()), Old);
}

TEST_F(AddFileTypeWindow, UnsafeNameIsRefusedWithABoxAndNothingIsWritten) {
    const std::string Old = "[File Type]\r\nAudio=*.mp3\r\n";
    T.File("config/custom.ini", {.Content = Old});
    TfrmAddFileType F;
    F.show();
    Type(F, 1, "Mine=Yours", "*.mine");
    F.btnSave->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].rfind("Corvane - Error|", 0), 0u);
    EXPECT_TRUE(F.isVisible());
    EXPECT_EQ(F.vlstFileType->currentRow(), 1);
    EXPECT_EQ(ReadAll(Ini()), Old);
}

TEST_F(AddFileTypeWindow, WriteFailureReachesTheCallerAndKeepsTheWindowOpen) {
    T.Dir("config/custom.ini");
    TfrmAddFileType F;
    F.show();
    Type(F, 0, "Audio", "*.mp3");
    EXPECT_THROW(F.btnSaveClick(), std::runtime_error);
    EXPECT_TRUE(F.isVisible());
}

TEST_F(AddFileTypeWindow, AnOpenEditorsTextIsSaved) {
    TfrmAddFileType F;
    F.show();
    QApplication::setActiveWindow(&F);
    Type(F, 0, "Audio", "");
    F.vlstFileType->setCurrentCell(0, 1);
    F.vlstFileType->editItem(F.vlstFileType->item(0, 1));
    QWidget* Editor = QApplication::focusWidget();
    ASSERT_TRUE(Editor && F.vlstFileType->isAncestorOf(Editor));
    for (const char C : std::string("*.MP3")) {
        QKeyEvent E(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(C)));
        QApplication::sendEvent(Editor, &E);
    }
    F.btnSaveClick();
    EXPECT_EQ(ReadAll(Ini()), "[File Type]\r\nAudio=*.mp3\r\n");
}

TEST_F(AddFileTypeWindow, EnterInTheGridSavesNothingButOnTheOkButtonSaves) {
    TfrmAddFileType F;
    F.show();
    QApplication::setActiveWindow(&F);
    Type(F, 0, "Audio", "*.mp3");
    F.vlstFileType->setFocus();
    F.vlstFileType->setCurrentCell(0, 0);
    Key(F.vlstFileType, Qt::Key_Return);
    EXPECT_TRUE(F.isVisible());
    EXPECT_TRUE(F.vlstFileType->isAncestorOf(QApplication::focusWidget()));  // an editor is open
    EXPECT_EQ(ReadAll(Ini()), "");

    F.btnSave->setFocus();
    Key(F.btnSave, Qt::Key_Return);
    EXPECT_FALSE(F.isVisible());
    EXPECT_EQ(ReadAll(Ini()), "[File Type]\r\nAudio=*.mp3\r\n");
}

TEST_F(AddFileTypeWindow, InsertDownAndDeleteChangeTheRows) {
    TfrmAddFileType F;
    F.show();
    TValueListGrid* G = F.vlstFileType;
    Type(F, 0, "A", "*.a");
    Type(F, 1, "B", "*.b");

    G->setCurrentCell(1, 0);
    Key(G, Qt::Key_Insert);  // above the current row
    EXPECT_EQ(G->rowCount(), 22);
    EXPECT_EQ(G->Rows()[2].Name, "B");
    EXPECT_EQ(G->currentRow(), 1);

    G->setCurrentCell(21, 1);
    Key(G, Qt::Key_Down);  // past the last row
    EXPECT_EQ(G->rowCount(), 23);
    EXPECT_EQ(G->currentRow(), 22);

    G->setCurrentCell(0, 0);
    Key(G, Qt::Key_Delete);
    EXPECT_EQ(G->rowCount(), 22);
    EXPECT_TRUE(G->Rows()[0].Name.empty());
    EXPECT_EQ(G->Rows()[1].Name, "B");

    // The last row is emptied, not removed.
    G->setRowCount(1);
    Type(F, 0, "Z", "*.z");
    G->setCurrentCell(0, 0);
    Key(G, Qt::Key_Delete);
    ASSERT_EQ(G->rowCount(), 1);
    EXPECT_TRUE(G->Rows()[0].Name.empty());
}

} // namespace
