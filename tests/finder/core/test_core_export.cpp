// The HTML export: the page's layout per mode, escaping of names, counts,
// and the file written whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <fstream>
#include <sstream>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "finder/core/HtmlExport.h"
#include "tests/common/TempTree.h"

using namespace finder;
using corvane_test::TempTree;

namespace {

// A list of groups: each entry is a header caption and its member captions.
struct TFakeList {
    std::vector<bool> Header;
    std::vector<TExportRow> Rows;

    void Group(const std::string& Caption, const std::vector<std::string>& Members)
    {
        const std::string No = std::to_string(std::count(Header.begin(), Header.end(), true) + 1);
        Header.push_back(true);
        Rows.push_back({Caption, {std::to_string(Members.size()) + "  files", "", "", No}});
        for (const std::string& M : Members) {
            Header.push_back(false);
            Rows.push_back({M, {"1 KB", "mod", "cre", No}});
        }
    }

    TExportPage Page(int Mode = 1)
    {
        TExportPage P;
        P.Mode = Mode;
        P.Columns = {"Name and Path", "File Size", "Modified", "Created", "Group"};
        P.TitleTime = plat::EncodeDateTime(2026, 3, 7, 9, 5, 4, 0);
        P.SearchTime = P.TitleTime;
        P.RowCount = Rows.size();
        P.IsHeader = [this](size_t I) { return bool(Header[I]); };
        P.Row = [this](size_t I) { return Rows[I]; };
        return P;
    }
};

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> Out;
    size_t B = 0;
    for (size_t E; (E = Text.find("\r\n", B)) != std::string::npos; B = E + 2) Out.push_back(Text.substr(B, E - B));
    EXPECT_EQ(B, Text.size()) << "every line ends in CR LF";
    return Out;
}

size_t CountOf(const std::string& Text, const std::string& What)
{
    size_t N = 0;
    for (size_t P = Text.find(What); P != std::string::npos; P = Text.find(What, P + 1)) ++N;
    return N;
}

std::string ReadFile(const std::string& Path)
{
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

} // namespace

struct TitleCase {
    int Mode;
    bool Email, Linkman;
    const char* Title;
    const char* Kind;
};

class ExportTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ExportTitleTest, TitleAndKindWordByMode)
{
    std::string Title = "x", Kind = "x";
    ExportTitle(GetParam().Mode, GetParam().Email, GetParam().Linkman, Title, Kind);
    EXPECT_EQ(Title, GetParam().Title);
    EXPECT_EQ(Kind, GetParam().Kind);
}

INSTANTIATE_TEST_SUITE_P(Modes, ExportTitleTest,
                         ::testing::Values(TitleCase{1, false, false, "List of Duplicate Files", "files"},
                                           TitleCase{3, true, false, "List of Duplicate Files", "files"},
                                           TitleCase{4, false, false, "List of Duplicate Photos", "files"},
                                           TitleCase{2, true, false, "List of Duplicate Mails", "mails"},
                                           TitleCase{2, false, true, "List of Duplicate Contacts", "contacts"},
                                           TitleCase{2, false, false, "", ""},
                                           TitleCase{5, true, true, "", ""}));

TEST(ExportNames, DefaultNameCarriesTheDateOnly)
{
    EXPECT_EQ(DefaultExportName(plat::EncodeDateTime(2026, 3, 7, 23, 59, 59, 0)), "DuplicateFile_20260307.html");
    EXPECT_EQ(DefaultExportName(plat::EncodeDateTime(2026, 12, 31, 0, 0, 0, 0)), "DuplicateFile_20261231.html");
}

TEST(ExportNames, DateTextsUnderTheCLocale)
{
    const TDateTime T = plat::EncodeDateTime(2026, 3, 7, 9, 5, 4, 0);  // a Saturday
    EXPECT_EQ(ExportDateText(T, false), "March 7, 2026, 09:05:04");
    EXPECT_EQ(ExportDateText(T, true), "Saturday, March 7, 2026, 09:05:04");
}

struct EscapeCase {
    const char* In;
    const char* Text;
    const char* Url;
};

class ExportEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ExportEscapeTest, TextAndLinkAreSafe)
{
    EXPECT_EQ(HtmlText(GetParam().In), GetParam().Text);
    EXPECT_EQ(FileUrl(GetParam().In), GetParam().Url);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExportEscapeTest,
    ::testing::Values(
        EscapeCase{"/a/b.txt", "/a/b.txt", "file:///a/b.txt"},
        EscapeCase{"/my docs/a b.txt", "/my docs/a b.txt", "file:///my%20docs/a%20b.txt"},
        EscapeCase{"/x/<b>&\"'.mp3", "/x/&lt;b&gt;&amp;&quot;&#39;.mp3", "file:///x/%3Cb%3E%26%22%27.mp3"},
        EscapeCase{"/x/#1 100%?.jpg", "/x/#1 100%?.jpg", "file:///x/%231%20100%25%3F.jpg"},
        EscapeCase{"/x/caf\xC3\xA9.txt", "/x/caf\xC3\xA9.txt", "file:///x/caf%C3%A9.txt"},
        // Bytes that are no UTF-8 (a lone Latin-1 byte, a cut sequence, an
        // overlong slash) show as U+FFFD but link to the very bytes.
        EscapeCase{"/x/caf\xE9.txt", "/x/caf\xEF\xBF\xBD.txt", "file:///x/caf%E9.txt"},
        EscapeCase{"/x/\xE2\x82", "/x/\xEF\xBF\xBD\xEF\xBF\xBD", "file:///x/%E2%82"},
        EscapeCase{"/\xC0\xAF", "/\xEF\xBF\xBD\xEF\xBF\xBD", "file:///%C0%AF"},
        EscapeCase{"/a\nb\x01", "/a\xEF\xBF\xBD" "b\xEF\xBF\xBD", "file:///a%0Ab%01"},
        EscapeCase{"/x/\xF0\x9F\x8E\xB5.mp3", "/x/\xF0\x9F\x8E\xB5.mp3", "file:///x/%F0%9F%8E%B5.mp3"}));

TEST(ExportPage, ThreeGroupsGiveCountsAndRowSpans)
{
    TFakeList L;
    L.Group("/d/a.txt", {"/d/1/a.txt", "/d/2/a.txt"});
    L.Group("/d/b.txt", {"/d/1/b.txt", "/d/2/b.txt", "/d/3/b.txt"});
    L.Group("/d/c.txt", {"/d/1/c.txt", "/d/2/c.txt"});
    TExportPage P = L.Page();
    P.ScanModeCaption = "Scan for same byte";
    const std::string Html = HtmlExportText(P);
    const std::vector<std::string> Ls = Lines(Html);
    ASSERT_GT(Ls.size(), 30u);
    EXPECT_EQ(Ls[0], "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
    EXPECT_EQ(Ls[4], "<title>List of Duplicate Files - March 7, 2026, 09:05:04</title>");
    EXPECT_EQ(Ls[8], "\t  COLOR: #4B4B4B;");
    EXPECT_NE(Html.find("<h1>List of Duplicate Files</h1>\r\n"
                        "<p><b>Date of search:</b> Saturday, March 7, 2026, 09:05:04<br>\r\n"
                        "<b>Scan mode:</b> Scan for same byte <br />\r\n</p>\r\n"
                        "<p><font color=\"#CC0303\">This list includes original files and duplicates.</font></p>\r\n"),
              std::string::npos);
    EXPECT_NE(Html.find("<TD rowspan=\"3\" align=\"center\">1</TD>"), std::string::npos);
    EXPECT_NE(Html.find("<TD rowspan=\"4\" align=\"center\">2</TD>"), std::string::npos);
    EXPECT_NE(Html.find("<TD rowspan=\"3\" align=\"center\">3</TD>"), std::string::npos);
    EXPECT_EQ(Ls[Ls.size() - 3], "<p><b>* Number of original files and duplicates:</b> 3 + 4<br>");
    EXPECT_EQ(Ls.back(), "</html>");
    EXPECT_EQ(CountOf(Html, "<TR bgcolor=\"#C0DCC0\">"), 3u);
    EXPECT_EQ(CountOf(Html, "<TR bgcolor=\"#FFFFFF\">"), 7u);
    EXPECT_NE(Html.find("      <TD class=\"GridSpace\" height=\"23\"><a href=\"file:///d/2/b.txt\">/d/2/b.txt</a></TD>\r\n"
                        "      <TD align=\"center\">1 KB</TD>\r\n"),
              std::string::npos);
    EXPECT_NE(Html.find("      <TD align=\"center\"><b><SPAN class=\"Color01\">2  files</SPAN></b></TD>"),
              std::string::npos);
    EXPECT_NE(Html.find("<TD style=\"padding-left:10px;\" width=\"50%\"><b>Name and Path</b></TD>"),
              std::string::npos);
    EXPECT_EQ(Html.find("colspan"), std::string::npos);
}

TEST(ExportPage, NoScanModeLineWhenNoKindIsChecked)
{
    TFakeList L;
    L.Group("a", {"/1/", "/2/"});
    const std::string Html = HtmlExportText(L.Page());
    EXPECT_EQ(Html.find("Scan mode:"), std::string::npos);
    EXPECT_NE(Html.find("<br>\r\n</p>\r\n"), std::string::npos);
}

TEST(ExportPage, PhotoRowsHaveThumbnailAndSevenColumns)
{
    TFakeList L;
    L.Group("/p/a b.jpg", {"/p/a b.jpg", "/q/a b.jpg"});
    const std::string Html = HtmlExportText(L.Page(4));
    EXPECT_NE(Html.find("<h1>List of Duplicate Photos</h1>"), std::string::npos);
    EXPECT_NE(Html.find("width=\"50%\" colspan=\"2\"><b>Name and Path</b>"), std::string::npos);
    EXPECT_NE(Html.find("<TD class=\"GridSpace\" height=\"23\" colspan=\"2\"><b><SPAN class=\"Color01\">/p/a b.jpg"),
              std::string::npos);
    EXPECT_NE(Html.find("      <TD class=\"GridSpace\" height=\"30\" width=\"10%\"><img src=\"file:///q/a%20b.jpg\" "
                        "width=\"100\" /></TD>\r\n"
                        "      <TD class=\"GridSpace\" height=\"23\" width=\"40%\"><a href=\"file:///q/a%20b.jpg\">"
                        "/q/a b.jpg</a></TD>\r\n"),
              std::string::npos);
    EXPECT_EQ(CountOf(Html, "<img "), 2u);
}

TEST(ExportPage, OutlookRowsCarryNoLink)
{
    TFakeList L;
    L.Group("Hello", {"Hello", "Hello"});
    TExportPage P = L.Page(2);
    P.Email = true;
    const std::string Html = HtmlExportText(P);
    EXPECT_NE(Html.find("original mails and duplicates"), std::string::npos);
    EXPECT_NE(Html.find("      <TD class=\"GridSpace\" height=\"23\">Hello</TD>"), std::string::npos);
    EXPECT_EQ(Html.find("<a href"), std::string::npos);
}

// Markup in names, columns and captions must not become markup in the page.
TEST(ExportPage, HostileNamesStayText)
{
    TFakeList L;
    L.Group("<script>x</script>&", {"/t/\"><img src=x>.txt", "/t/caf\xE9 & co.txt"});
    // A contact-like group whose member text holds the kind word: still a member.
    L.Rows[1].SubItems[0] = "3  files";
    TExportPage P = L.Page();
    P.Columns[0] = "<i>Name</i>";
    P.ScanModeCaption = "A & B";
    const std::string Html = HtmlExportText(P);
    EXPECT_EQ(Html.find("<script>"), std::string::npos);
    EXPECT_EQ(Html.find("<i>"), std::string::npos);
    EXPECT_EQ(Html.find("<img src=x>"), std::string::npos);
    EXPECT_NE(Html.find("&lt;script&gt;x&lt;/script&gt;&amp;"), std::string::npos);
    EXPECT_NE(Html.find("<a href=\"file:///t/%22%3E%3Cimg%20src%3Dx%3E.txt\">/t/&quot;&gt;&lt;img src=x&gt;.txt</a>"),
              std::string::npos);
    EXPECT_NE(Html.find("href=\"file:///t/caf%E9%20%26%20co.txt\">/t/caf\xEF\xBF\xBD &amp; co.txt</a>"),
              std::string::npos);
    EXPECT_NE(Html.find("<b>Scan mode:</b> A &amp; B <br />"), std::string::npos);
    EXPECT_NE(Html.find("<TD align=\"center\">3  files</TD>"), std::string::npos);
    EXPECT_NE(Html.find("rowspan=\"3\""), std::string::npos);
    EXPECT_NE(Html.find("1 + 1<br>"), std::string::npos);
}

TEST(ExportPage, RowSpanFollowsTheRowsActuallyListed)
{
    // A count text that disagrees with the rows listed (or is no number at
    // all) must neither fail nor skew the table.
    TFakeList L;
    L.Group("a", {"/1/a", "/2/a", "/3/a"});
    L.Rows[0].SubItems[0] = "seven  files";
    const std::string Html = HtmlExportText(L.Page());
    EXPECT_NE(Html.find("rowspan=\"4\""), std::string::npos);
    EXPECT_NE(Html.find("1 + 2<br>"), std::string::npos);
}

TEST(ExportPage, SinkFailureStopsAtOnce)
{
    TFakeList L;
    L.Group("a", {"/1/a", "/2/a"});
    size_t Calls = 0;
    EXPECT_FALSE(WriteHtmlExport(L.Page(), [&](std::string_view) { return ++Calls < 10; }));
    EXPECT_EQ(Calls, 10u);
}

class ExportFileTest : public ::testing::Test {
protected:
    TempTree Tree;
    TFakeList L;
    void SetUp() override { L.Group("/d/a.txt", {"/d/1/a.txt", "/d/2/a.txt"}); }

    // Names in the folder other than the given ones: left-over temporaries.
    std::vector<std::string> Others(const std::string& Dir, const std::vector<std::string>& Known)
    {
        std::vector<std::string> Out;
        DIR* D = ::opendir(Dir.c_str());
        while (dirent* E = D ? ::readdir(D) : nullptr) {
            const std::string N = E->d_name;
            if (N != "." && N != ".." && std::find(Known.begin(), Known.end(), N) == Known.end()) Out.push_back(N);
        }
        if (D) ::closedir(D);
        return Out;
    }
};

TEST_F(ExportFileTest, WritesThePageAndReplacesAnOldOne)
{
    const std::string Path = Tree.File("out dir/DuplicateFile_1.html", {.Content = "old page", .Mode = 0640});
    const TExportResult R = ExportHtmlFile(Path, L.Page());
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_EQ(ReadFile(Path), HtmlExportText(L.Page()));
    struct stat St{};
    ASSERT_EQ(::stat(Path.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0640u);
    EXPECT_TRUE(Others(Tree.Root() + "/out dir", {"DuplicateFile_1.html"}).empty());
}

TEST_F(ExportFileTest, ALinkAtTheNameIsReplacedNotFollowed)
{
    const std::string Other = Tree.File("private.txt", {.Content = "someone else's", .Mode = 0600});
    const std::string Link = Tree.Link("DuplicateFile_1.html", "private.txt");
    ASSERT_TRUE(ExportHtmlFile(Link, L.Page()).Ok);
    EXPECT_EQ(ReadFile(Other), "someone else's");
    EXPECT_EQ(ReadFile(Link), HtmlExportText(L.Page()));
    struct stat St{};
    ASSERT_EQ(::lstat(Link.c_str(), &St), 0);
    EXPECT_TRUE(S_ISREG(St.st_mode));
}

TEST_F(ExportFileTest, ANameAtTheLengthLimitWorks)
{
    const std::string Path = Tree.Path(std::string(NAME_MAX - 5, 'n') + ".html");
    const TExportResult R = ExportHtmlFile(Path, L.Page());
    ASSERT_TRUE(R.Ok) << R.Error;
    EXPECT_EQ(ReadFile(Path), HtmlExportText(L.Page()));
}

TEST_F(ExportFileTest, FailuresAreReportedAndLeaveTheOldFile)
{
    TExportResult R = ExportHtmlFile(Tree.Root() + "/no such folder/x.html", L.Page());
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("Cannot create file \"" + Tree.Root() + "/no such folder/x.html\". No such file"),
              std::string::npos)
        << R.Error;

    const std::string Dir = Tree.Dir("a folder");
    R = ExportHtmlFile(Dir, L.Page());
    EXPECT_FALSE(R.Ok);
    EXPECT_FALSE(R.Error.empty());

    if (::geteuid() != 0) {  // root writes into read-only folders
        const std::string Old = Tree.File("ro/keep.html", {.Content = "old page"});
        Tree.Dir("ro", {.Mode = 0555});
        R = ExportHtmlFile(Old, L.Page());
        EXPECT_FALSE(R.Ok);
        EXPECT_NE(R.Error.find("Cannot create file \"" + Old + "\". Permission denied"), std::string::npos) << R.Error;
        EXPECT_EQ(ReadFile(Old), "old page");
    }
    EXPECT_TRUE(Others(Tree.Root(), {"ro", "a folder"}).empty());
}

TEST_F(ExportFileTest, AWriteFailingPartWayLeavesNoPartialPage)
{
    // A file size limit makes writes fail part way, as a full disk does.
    const std::string Path = Tree.File("page.html", {.Content = "old page"});
    for (int I = 0; I < 2000; ++I) L.Group("/d/" + std::to_string(I), {"/e/" + std::to_string(I), "/f/x"});
    rlimit Old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
    const auto OldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Small = Old;
    Small.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
    const TExportResult R = ExportHtmlFile(Path, L.Page());
    ::setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldSignal);
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("Cannot write file \"" + Path + "\". File too large"), std::string::npos) << R.Error;
    EXPECT_EQ(ReadFile(Path), "old page");
    EXPECT_TRUE(Others(Tree.Root(), {"page.html"}).empty());
}

TEST_F(ExportFileTest, AnErrorWhileReadingRowsLeavesNoTemporary)
{
    const std::string Path = Tree.File("page.html", {.Content = "old page"});
    TExportPage P = L.Page();
    P.Row = [](size_t) -> TExportRow { throw std::runtime_error("row gone"); };
    EXPECT_THROW(ExportHtmlFile(Path, P), std::runtime_error);
    EXPECT_EQ(ReadFile(Path), "old page");
    EXPECT_TRUE(Others(Tree.Root(), {"page.html"}).empty());
}
