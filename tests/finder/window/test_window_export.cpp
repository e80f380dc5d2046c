// Export through the window: the proposed name, the page written from the
// rows shown, the closing box, a cancelled dialog and a failed write.
#include <QDate>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "finder/core/HtmlExport.h"
#include "tests/finder/window/ScanWindowSupport.h"

using namespace corvane_test;

namespace {

std::string ReadAll(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

size_t CountOf(const std::string& Text, const std::string& What) {
    size_t N = 0;
    for (size_t P = Text.find(What); P != std::string::npos; P = Text.find(What, P + 1)) ++N;
    return N;
}

} // namespace

class ExportWindowTest : public ScanWindowTest {
protected:
    QTemporaryDir Out;
    std::vector<std::string> Proposed;  // the names the dialog was given
    std::string Answer;                 // what the dialog returns

    void SetUp() override {
        // Same content, awkward names: a blank, markup, and a byte that is no UTF-8.
        Tree.File("x y/a & <b>.txt", {.Content = "same bytes", .MTime = 1600000000});
        Tree.File("z/caf\xE9 \"q\".txt", {.Content = "same bytes", .MTime = 1700000000});
        Tree.File("lone.txt", {.Content = "other"});
        finder::SetExportDialog([this](const std::string& Name) {
            Proposed.push_back(Name);
            return Answer;
        });
        ScanWindowTest::SetUp();
    }

    void TearDown() override {
        finder::SetExportDialog({});
        ScanWindowTest::TearDown();
    }

    void ScanSameContent() {
        ClickOption(Form->rbScanFileBye);
        ASSERT_TRUE(Form->rbScanFileBye->Checked());
        TickDataAndScan();
        ASSERT_EQ(Rows().size(), 3u);
        Boxes.clear();
    }
};

TEST_F(ExportWindowTest, WritesTheRowsShownAndSaysWhere) {
    ScanSameContent();
    Answer = Out.filePath("list.html").toStdString();
    ClickButton(Form->ExportButton);

    ASSERT_EQ(Proposed.size(), 1u);
    EXPECT_EQ(Proposed[0], "DuplicateFile_" + QDate::currentDate().toString("yyyyMMdd").toStdString() + ".html");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "Corvane - Export");
    EXPECT_EQ(Boxes[0].Text, "Data has been exported to " + Answer);
    EXPECT_EQ(Boxes[0].Flags, plat::MB_OK | plat::MB_ICONINFORMATION);

    const std::string Html = ReadAll(Answer);
    EXPECT_NE(Html.find("<h1>List of Duplicate Files</h1>"), std::string::npos);
    EXPECT_NE(Html.find("<b>Scan mode:</b> Scan for same byte <br />"), std::string::npos);
    EXPECT_NE(Html.find("<b>Name and Path</b>"), std::string::npos);
    EXPECT_NE(Html.find("<b>Group</b>"), std::string::npos);
    EXPECT_EQ(CountOf(Html, "<TR bgcolor=\"#C0DCC0\">"), 1u);
    EXPECT_EQ(CountOf(Html, "<TR bgcolor=\"#FFFFFF\">"), 2u);
    EXPECT_NE(Html.find("rowspan=\"3\""), std::string::npos);
    EXPECT_NE(Html.find("2  files"), std::string::npos);
    EXPECT_NE(Html.find(":</b> 1 + 1<br>"), std::string::npos);
    // Every shown member links to its own bytes and reads as plain text.
    const std::string Root = finder::FileUrl(Tree.Root());
    EXPECT_NE(Html.find("href=\"" + Root + "/x%20y/a%20%26%20%3Cb%3E.txt\">" + finder::HtmlText(Tree.Root()) +
                        "/x y/a &amp; &lt;b&gt;.txt</a>"),
              std::string::npos);
    EXPECT_NE(Html.find("href=\"" + Root + "/z/caf%E9%20%22q%22.txt\">"), std::string::npos);
    EXPECT_NE(Html.find("/z/caf\xEF\xBF\xBD &quot;q&quot;.txt</a>"), std::string::npos);
    EXPECT_EQ(Html.find("<b>.txt"), std::string::npos);
    // The list and its ticks are untouched.
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
}

TEST_F(ExportWindowTest, CancelWritesNothingAndSaysNothing) {
    ScanSameContent();
    Answer.clear();
    ClickButton(Form->ExportButton);
    EXPECT_EQ(Proposed.size(), 1u);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(QDir(Out.path()).isEmpty());
}

TEST_F(ExportWindowTest, EmptyListOpensNoDialog) {
    Form->ExportButtonClick(Form->ExportButton);
    EXPECT_TRUE(Proposed.empty());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(ExportWindowTest, AFailedWriteIsAnErrorNotASuccess) {
    ScanSameContent();
    Answer = Out.filePath("missing/list.html").toStdString();
    ClickButton(Form->ExportButton);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Caption, "Corvane - Export");
    EXPECT_EQ(Boxes[0].Flags, plat::MB_OK | plat::MB_ICONERROR);
    EXPECT_NE(Boxes[0].Text.find("Cannot create file \"" + Answer + "\""), std::string::npos) << Boxes[0].Text;
    EXPECT_TRUE(QDir(Out.path()).isEmpty());
}
