// The HTML export: the page per mode, names kept as text, counts, and the
// file written whole or not at all.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <filesystem>
#include <set>

#include "finder/core/HtmlExport.h"
#include "tests/common/TempTree.h"

using namespace finder;
using corvane_test::TempTree;

namespace {

// A page of groups: each a header caption and its member captions.
TExportPage Page(const std::vector<std::pair<std::string, std::vector<std::string>>>& Groups, int Mode = 1) {
    auto Rows = std::make_shared<std::vector<std::pair<bool, TExportRow>>>();
    int Group = 0;
    for (const auto& [Caption, Members] : Groups) {
        const std::string No = std::to_string(++Group);
        Rows->push_back({true, {Caption, {std::to_string(Members.size()) + "  files", "", "", No}}});
        for (const std::string& M : Members) Rows->push_back({false, {M, {"1 KB", "mod", "cre", No}}});
    }
    TExportPage P;
    P.Mode = Mode;
    P.Columns = {"Name and Path", "File Size", "Modified", "Created", "Group"};
    P.TitleTime = P.SearchTime = plat::EncodeDateTime(2026, 3, 7, 9, 5, 4, 0);  // a Saturday
    P.RowCount = Rows->size();
    P.IsHeader = [Rows](size_t I) { return (*Rows)[I].first; };
    P.Row = [Rows](size_t I) { return (*Rows)[I].second; };
    return P;
}

bool Has(const std::string& Text, const std::string& What) { return Text.find(What) != std::string::npos; }

// The folder's names: a finished or failed export leaves no temporary.
std::set<std::string> Listing(const std::string& Dir) {
    std::set<std::string> Names;
    for (const auto& E : std::filesystem::directory_iterator(Dir)) Names.insert(E.path().filename());
    return Names;
}

} // namespace

TEST(ExportText, NamesStayTextAndLinksReachTheVeryBytes) {
    const std::tuple<const char*, const char*, const char*> Cases[] = {
        {"/my docs/a b.txt", "/my docs/a b.txt", "file:///my%20docs/a%20b.txt"},
        {"/x/<b>&\"'.mp3", "/x/&lt;b&gt;&amp;&quot;&#39;.mp3", "file:///x/%3Cb%3E%26%22%27.mp3"},
        {"/x/#1 100%?.jpg", "/x/#1 100%?.jpg", "file:///x/%231%20100%25%3F.jpg"},
        {"/x/caf\xC3\xA9\xF0\x9F\x8E\xB5", "/x/caf\xC3\xA9\xF0\x9F\x8E\xB5", "file:///x/caf%C3%A9%F0%9F%8E%B5"},
        // Bytes that are no UTF-8 (a lone Latin-1 byte, a cut sequence, an
        // overlong slash, control bytes) show as U+FFFD.
        {"/x/caf\xE9.txt", "/x/caf\xEF\xBF\xBD.txt", "file:///x/caf%E9.txt"},
        {"/x/\xE2\x82", "/x/\xEF\xBF\xBD\xEF\xBF\xBD", "file:///x/%E2%82"},
        {"/\xC0\xAF", "/\xEF\xBF\xBD\xEF\xBF\xBD", "file:///%C0%AF"},
        {"/a\nb\x01", "/a\xEF\xBF\xBD" "b\xEF\xBF\xBD", "file:///a%0Ab%01"}};
    for (const auto& [In, Text, Url] : Cases) {
        EXPECT_EQ(HtmlText(In), Text);
        EXPECT_EQ(FileUrl(In), Url);
    }
}

// Markup in names, columns and captions stays text.
TEST(ExportPage, GroupsCountsAndRowSpans) {
    TExportPage P = Page({{"/d/a.txt", {"/d/1/a.txt", "/d/2/a.txt"}},
                          {"/d/b.txt", {"/d/1/b.txt", "/d/2/b.txt", "/d/3/b.txt"}},
                          {"<script>x</script>&", {"/t/\"><img src=x>.txt", "/t/caf\xE9 & co.txt"}}});
    P.Columns[0] = "<i>Name</i>";
    P.ScanModeCaption = "Same & byte";
    const std::string Html = HtmlExportText(P);
    EXPECT_EQ(std::count(Html.begin(), Html.end(), '\n'), std::count(Html.begin(), Html.end(), '\r'));
    EXPECT_TRUE(Has(Html, "<title>List of Duplicate Files - March 7, 2026, 09:05:04</title>\r\n"));
    EXPECT_TRUE(Has(Html, "<p><b>Date of search:</b> Saturday, March 7, 2026, 09:05:04<br>\r\n"
                          "<b>Scan mode:</b> Same &amp; byte <br />\r\n</p>\r\n"));
    // The number cell spans the rows that follow, whatever the count text says.
    for (const char* Span : {"rowspan=\"3\" align=\"center\">1<", "rowspan=\"4\" align=\"center\">2<",
                             "rowspan=\"3\" align=\"center\">3<"})
        EXPECT_TRUE(Has(Html, Span)) << Span;
    EXPECT_TRUE(Has(Html, "<p><b>* Number of original files and duplicates:</b> 3 + 4<br>"));
    EXPECT_TRUE(Has(Html, "      <TD class=\"GridSpace\" height=\"23\"><a href=\"file:///d/2/b.txt\">/d/2/b.txt</a></TD>\r\n"
                          "      <TD align=\"center\">1 KB</TD>\r\n"));
    for (const char* Markup : {"<script>", "<i>", "<img src=x>", "colspan"}) EXPECT_FALSE(Has(Html, Markup)) << Markup;
    EXPECT_TRUE(Has(Html, "<b><SPAN class=\"Color01\">&lt;script&gt;x&lt;/script&gt;&amp;</SPAN>"));
    EXPECT_TRUE(Has(Html, "<a href=\"file:///t/%22%3E%3Cimg%20src%3Dx%3E.txt\">/t/&quot;&gt;&lt;img src=x&gt;.txt</a>"));
    EXPECT_TRUE(Has(Html, "href=\"file:///t/caf%E9%20%26%20co.txt\">/t/caf\xEF\xBF\xBD &amp; co.txt</a>"));
    EXPECT_TRUE(Has(Html, "<b>&lt;i&gt;Name&lt;/i&gt;</b>"));
    EXPECT_EQ(Html.substr(Html.size() - 9), "</html>\r\n");
    P.ScanModeCaption.clear();
    EXPECT_FALSE(Has(HtmlExportText(P), "Scan mode:"));
    size_t Calls = 0;  // a failing sink stops the page at once
    EXPECT_FALSE(WriteHtmlExport(P, [&](std::string_view) { return ++Calls < 10; }));
    EXPECT_EQ(Calls, 10u);
}

// The photo mode adds a column of thumbnails; the Outlook mode's rows carry
// no link.
TEST(ExportPage, ModesChangeTheRows) {
    const std::string Photo = HtmlExportText(Page({{"/p/a b.jpg", {"/p/a b.jpg", "/q/a b.jpg"}}}, 4));
    EXPECT_TRUE(Has(Photo, "<h1>List of Duplicate Photos</h1>"));
    EXPECT_TRUE(Has(Photo, "width=\"50%\" colspan=\"2\"><b>Name and Path</b>"));
    EXPECT_TRUE(Has(Photo, "<img src=\"file:///q/a%20b.jpg\" width=\"100\" /></TD>\r\n"
                           "      <TD class=\"GridSpace\" height=\"23\" width=\"40%\"><a href=\"file:///q/a%20b.jpg\">"));
    TExportPage P = Page({{"Hello", {"Hello", "Hello"}}}, 2);
    P.Email = true;
    const std::string Mail = HtmlExportText(P);
    EXPECT_TRUE(Has(Mail, "original mails and duplicates"));
    EXPECT_TRUE(Has(Mail, "      <TD class=\"GridSpace\" height=\"23\">Hello</TD>"));
    EXPECT_FALSE(Has(Mail, "<a href"));
}

// The chosen name itself is replaced: an old page keeps its mode, a link
// there is replaced and not followed, a name at the length limit works.
TEST(ExportFile, WritesThePageInPlaceOfTheName) {
    TempTree Tree;
    const TExportPage P = Page({{"/d/a.txt", {"/d/1/a.txt", "/d/2/a.txt"}}});
    const std::string Long = std::string(NAME_MAX - 5, 'n') + ".html";
    Tree.File("old.html", {.Content = "old page", .Mode = 0640});
    Tree.File("private.txt", {.Content = "someone else's", .Mode = 0600});
    Tree.Link("link.html", "private.txt");
    for (const std::string& Name : {std::string("old.html"), std::string("link.html"), Long}) {
        const TExportResult R = ExportHtmlFile(Tree.Path(Name), P);
        ASSERT_TRUE(R.Ok) << R.Error;
        EXPECT_EQ(Tree.Read(Name), HtmlExportText(P));
    }
    struct stat St {};
    ASSERT_EQ(::stat(Tree.Path("old.html").c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0640u);
    ASSERT_EQ(::lstat(Tree.Path("link.html").c_str(), &St), 0);
    EXPECT_TRUE(S_ISREG(St.st_mode));
    EXPECT_EQ(Tree.Read("private.txt"), "someone else's");
    EXPECT_EQ(Listing(Tree.Root()), (std::set<std::string>{"link.html", Long, "old.html", "private.txt"}));
}

TEST(ExportFile, FailuresAreReportedAndLeaveNothingBehind) {
    TempTree Tree;
    std::vector<std::pair<std::string, std::vector<std::string>>> Groups;
    for (int I = 0; I < 2000; ++I) Groups.push_back({"/d/" + std::to_string(I), {"/e/" + std::to_string(I), "/f/x"}});
    TExportPage P = Page(Groups);
    TExportResult R = ExportHtmlFile(Tree.Root() + "/no such folder/x.html", P);
    EXPECT_TRUE(Has(R.Error, "Cannot create file \"" + Tree.Root() + "/no such folder/x.html\". No such file")) << R.Error;
    EXPECT_FALSE(ExportHtmlFile(Tree.Dir("a folder"), P).Ok);

    // A file size limit makes writes fail part way, as a full disk does.
    const std::string Path = Tree.File("page.html", {.Content = "old page"});
    rlimit Old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
    const auto OldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit Small = Old;
    Small.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
    R = ExportHtmlFile(Path, P);
    ::setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldSignal);
    EXPECT_FALSE(R.Ok);
    EXPECT_TRUE(Has(R.Error, "Cannot write file \"" + Path + "\". File too large")) << R.Error;
    EXPECT_EQ(Tree.Read("page.html"), "old page");

    // An error while the rows are read passes out.
    P.Row = [](size_t) -> TExportRow { throw std::runtime_error("row gone"); };
    EXPECT_THROW(ExportHtmlFile(Path, P), std::runtime_error);
    EXPECT_EQ(Tree.Read("page.html"), "old page");
    EXPECT_EQ(Listing(Tree.Root()), (std::set<std::string>{"a folder", "page.html"}));
}
