#include "finder/core/HtmlExport.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Shell.h"

namespace finder {

namespace {

constexpr const char* Replacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at S[I], or 0 when it is not one.
size_t Utf8Length(std::string_view S, size_t I)
{
    const auto B = [&](size_t K) { return static_cast<unsigned char>(S[K]); };
    const unsigned char C = B(I);
    size_t N;
    uint32_t Cp;
    if (C < 0x80) return 1;
    if (C >= 0xC2 && C <= 0xDF) { N = 2; Cp = C & 0x1F; }
    else if (C >= 0xE0 && C <= 0xEF) { N = 3; Cp = C & 0x0F; }
    else if (C >= 0xF0 && C <= 0xF4) { N = 4; Cp = C & 0x07; }
    else return 0;
    if (I + N > S.size()) return 0;
    for (size_t K = 1; K < N; ++K) {
        if ((B(I + K) & 0xC0) != 0x80) return 0;
        Cp = (Cp << 6) | (B(I + K) & 0x3F);
    }
    if ((N == 3 && (Cp < 0x800 || (Cp >= 0xD800 && Cp <= 0xDFFF))) || (N == 4 && (Cp < 0x10000 || Cp > 0x10FFFF)))
        return 0;
    return N;
}

std::string Number(long long V) { return std::to_string(V); }

std::string Errno(int E) { return std::strerror(E); }

std::string Folder(const std::string& Path)
{
    const size_t Slash = Path.rfind('/');
    return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

// Writes all of Data, across short writes and interrupts.
bool WriteAll(int Fd, const std::string& Data)
{
    size_t Done = 0;
    while (Done < Data.size()) {
        const ssize_t N = ::write(Fd, Data.data() + Done, Data.size() - Done);
        if (N < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (N == 0) {
            errno = EIO;
            return false;
        }
        Done += size_t(N);
    }
    return true;
}

TExportDialog& DialogSeam()
{
    static TExportDialog D;
    return D;
}

} // namespace

void SetExportDialog(TExportDialog Dialog) { DialogSeam() = std::move(Dialog); }
const TExportDialog& ExportDialog() { return DialogSeam(); }

void ExportTitle(int Mode, bool Email, bool Linkman, std::string& Title, std::string& Kind)
{
    Title.clear();
    Kind.clear();
    if (Mode == 1 || Mode == 3) {
        Title = "List of Duplicate Files";
        Kind = "files";
    } else if (Mode == 4) {
        Title = "List of Duplicate Photos";
        Kind = "files";
    } else if (Mode == 2 && Email) {
        Title = "List of Duplicate Mails";
        Kind = "mails";
    } else if (Mode == 2 && Linkman) {
        Title = "List of Duplicate Contacts";
        Kind = "contacts";
    }
}

std::string DefaultExportName(TDateTime Today)
{
    const plat::TSystemTime T = plat::DecodeDateTime(Today);
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "DuplicateFile_%04d%02d%02d.html", T.Year, T.Month, T.Day);
    return Buf;
}

std::string ExportDateText(TDateTime Value, bool WithWeekday)
{
    const plat::TSystemTime T = plat::DecodeDateTime(Value);
    std::tm Tm{};
    Tm.tm_year = T.Year - 1900;
    Tm.tm_mon = T.Month - 1;
    Tm.tm_mday = T.Day;
    Tm.tm_wday = T.DayOfWeek;
    char Names[256];
    const size_t N = std::strftime(Names, sizeof Names, WithWeekday ? "%A, %B" : "%B", &Tm);
    char Rest[64];
    std::snprintf(Rest, sizeof Rest, " %d, %04d, %02d:%02d:%02d", T.Day, T.Year, T.Hour, T.Minute, T.Second);
    return std::string(Names, N) + Rest;
}

std::string HtmlText(std::string_view S)
{
    std::string Out;
    Out.reserve(S.size() + S.size() / 8);
    for (size_t I = 0; I < S.size();) {
        const char C = S[I];
        const size_t N = Utf8Length(S, I);
        if (N == 0) {
            Out += Replacement;  // a byte that is no UTF-8: shown as the list shows it
            ++I;
            continue;
        }
        if (N > 1) {
            Out.append(S.substr(I, N));
            I += N;
            continue;
        }
        switch (C) {
        case '&': Out += "&amp;"; break;
        case '<': Out += "&lt;"; break;
        case '>': Out += "&gt;"; break;
        case '"': Out += "&quot;"; break;
        case '\'': Out += "&#39;"; break;
        default:
            // Control characters have no place in HTML text; a tab is a blank.
            if ((static_cast<unsigned char>(C) < 0x20 && C != '\t') || C == 0x7F) Out += Replacement;
            else Out += C;
        }
        ++I;
    }
    return Out;
}

std::string FileUrl(std::string_view Path)
{
    std::string Out = "file://";
    if (Path.empty() || Path.front() != '/') Out += '/';
    return Out + plat::PercentEncoded(Path);
}

bool WriteHtmlExport(const TExportPage& P, const std::function<bool(std::string_view Line)>& Line)
{
    std::string Title, Kind;
    ExportTitle(P.Mode, P.Email, P.Linkman, Title, Kind);
    const bool Photo = P.Mode == 4;
    const std::string T = HtmlText(Title);

    static const char* const Style[] = {
        "<STYLE type=\"text/css\">",
        "<!--",
        "BODY {",
        "\t  COLOR: #4B4B4B;",
        "   FONT-SIZE: 14px;",
        "   FONT-FAMILY:  Tahoma, Verbana, Helvetica, sans-serif;",
        "   BACKGROUND-COLOR: white;",
        "}",
        "A {COLOR: #004080}",
        "A:hover {COLOR: #f60}",
        "A:visited {COLOR: #004080}",
        "P {MARGIN-TOP: 15px;MARGIN-BOTTOM: 15px;padding-left:20px;}",
        "TABLE.duplist {WIDTH: 100%;font-size : 14px;}",
        ".Color01 {COLOR: #0000FF;font-size : 14px;}",
        ".GridSpace {padding-top: 2px;padding-right: 0px;padding-bottom: 2px;padding-left: 8px;}",
        "-->",
        "</STYLE>",
        "</head>",
    };

    if (!Line("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">") || !Line("<html>") ||
        !Line("<head>"))
        return false;
    // Names are UTF-8 here: without the declaration a browser guesses and
    // shows any accented name garbled.
    if (!Line("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">")) return false;
    if (!Line("<title>" + T + " - " + HtmlText(ExportDateText(P.TitleTime, false)) + "</title>")) return false;
    for (const char* S : Style)
        if (!Line(S)) return false;

    if (!Line("<body>") || !Line("<h1>" + T + "</h1>") ||
        !Line("<p><b>Date of search:</b> " + HtmlText(ExportDateText(P.SearchTime, true)) + "<br>"))
        return false;
    if (!P.ScanModeCaption.empty() && !Line("<b>Scan mode:</b> " + HtmlText(P.ScanModeCaption) + " <br />"))
        return false;
    if (!Line("</p>") ||
        !Line("<p><font color=\"#CC0303\">This list includes original " + Kind + " and duplicates.</font></p>"))
        return false;

    std::array<std::string, 5> C;
    for (size_t K = 0; K < 5; ++K) C[K] = HtmlText(P.Columns[K]);
    if (!Line("<TABLE class=\"duplist\" cellSpacing=1 cellPadding=1 border=0 bgcolor=\"#4B4B4B\">") ||
        !Line("  <TBODY>") || !Line("    <TR bgcolor=\"#dddddd\">") ||
        !Line("      <TD align=\"center\" width=\"4%\"><b>#</b></TD>") ||
        !Line(std::string("      <TD style=\"padding-left:10px;\" width=\"50%\"") + (Photo ? " colspan=\"2\"" : "") +
              "><b>" + C[0] + "</b></TD>") ||
        !Line("      <TD align=\"center\" width=\"8%\"><b>" + C[1] + "</b></TD>") ||
        !Line("      <TD align=\"center\" width=\"16%\"><b>" + C[2] + "</b></TD>") ||
        !Line("      <TD align=\"center\" width=\"16%\"><b>" + C[3] + "</b></TD>") ||
        !Line("      <TD align=\"center\" width=\"6%\"><b>" + C[4] + "</b></TD>") || !Line("    </TR>"))
        return false;

    // Counters stay wide: a list of any length numbers its groups correctly.
    long long G = 0, M = 0;
    for (size_t I = 0; I < P.RowCount; ++I) {
        const bool Header = P.IsHeader(I);
        const TExportRow R = P.Row(I);
        if (Header) {
            // The number cell spans the rows that really follow, so the table
            // stays square whatever the count text says.
            long long N = 0;
            for (size_t J = I + 1; J < P.RowCount && !P.IsHeader(J); ++J) ++N;
            if (!Line("    <TR bgcolor=\"#C0DCC0\">") ||
                !Line("      <TD rowspan=\"" + Number(N + 1) + "\" align=\"center\">" + Number(G + 1) + "</TD>") ||
                !Line(std::string("      <TD class=\"GridSpace\" height=\"23\"") + (Photo ? " colspan=\"2\"" : "") +
                      "><b><SPAN class=\"Color01\">" + HtmlText(R.Caption) + "</SPAN></b></TD>"))
                return false;
            for (const std::string& S : R.SubItems)
                if (!Line("      <TD align=\"center\"><b><SPAN class=\"Color01\">" + HtmlText(S) + "</SPAN></b></TD>"))
                    return false;
            if (!Line("    </TR>")) return false;
            G += 1;
            M += N;
            continue;
        }
        if (!Line("    <TR bgcolor=\"#FFFFFF\">")) return false;
        const std::string Text = HtmlText(R.Caption);
        if (P.Mode == 2) {
            if (!Line("      <TD class=\"GridSpace\" height=\"23\">" + Text + "</TD>")) return false;
        } else {
            const std::string Url = HtmlText(FileUrl(R.Caption));
            if (Photo &&
                !Line("      <TD class=\"GridSpace\" height=\"30\" width=\"10%\"><img src=\"" + Url +
                      "\" width=\"100\" /></TD>"))
                return false;
            if (!Line(std::string("      <TD class=\"GridSpace\" height=\"23\"") + (Photo ? " width=\"40%\"" : "") +
                      "><a href=\"" + Url + "\">" + Text + "</a></TD>"))
                return false;
        }
        for (const std::string& S : R.SubItems)
            if (!Line("      <TD align=\"center\">" + HtmlText(S) + "</TD>")) return false;
        if (!Line("    </TR>")) return false;
    }

    return Line("  </TBODY>") && Line("</TABLE>") &&
           Line("<p><b>* Number of original " + Kind + " and duplicates:</b> " + Number(G) + " + " + Number(M - G) +
                "<br>") &&
           Line("</body>") && Line("</html>");
}

std::string HtmlExportText(const TExportPage& Page)
{
    std::string Out;
    WriteHtmlExport(Page, [&](std::string_view L) {
        Out.append(L);
        Out += "\r\n";
        return true;
    });
    return Out;
}

TExportResult ExportHtmlFile(const std::string& FileName, const TExportPage& Page)
{
    TExportResult Result;
    // The chosen name itself is replaced: a symbolic link there is never
    // followed (one planted in a shared folder would aim the page at any
    // file the user can write), the page takes the link's place.
    const std::string& Target = FileName;
    struct stat St{};
    const bool Found = ::lstat(FileName.c_str(), &St) == 0;
    const bool Exists = Found && S_ISREG(St.st_mode);
    if (Found && S_ISDIR(St.st_mode)) {
        Result.Error = "Cannot create file \"" + FileName + "\". " + Errno(EISDIR);
        return Result;
    }

    // A new file in the same folder, so that the rename cannot cross file
    // systems; its name is short, so that a chosen name near the limit works.
    std::string Temp;
    int Fd = -1;
    for (int Try = 0; Try < 100 && Fd < 0; ++Try) {
        Temp = Folder(Target) + ".cv" + Number(::getpid()) + "-" + Number(Try) + ".tmp";
        Fd = ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (Fd < 0 && errno != EEXIST) break;
    }
    if (Fd < 0) {
        Result.Error = "Cannot create file \"" + FileName + "\". " + Errno(errno);
        return Result;
    }
    // A replaced file keeps its permissions.
    if (Exists) (void)::fchmod(Fd, St.st_mode & 07777);

    auto Fail = [&](int E) {
        if (Fd >= 0) ::close(Fd);
        ::unlink(Temp.c_str());
        Result.Error = "Cannot write file \"" + FileName + "\". " + Errno(E);
        return Result;
    };

    std::string Buffer;
    int WriteError = 0;
    bool Written = false;
    try {
        Written = WriteHtmlExport(Page, [&](std::string_view L) {
            Buffer.append(L);
            Buffer += "\r\n";
            if (Buffer.size() >= 65536) {
                if (!WriteAll(Fd, Buffer)) {
                    WriteError = errno;
                    return false;
                }
                Buffer.clear();
            }
            return true;
        });
    } catch (...) {
        // No half page and no stray temporary stay behind.
        ::close(Fd);
        ::unlink(Temp.c_str());
        throw;
    }
    if (!Written) return Fail(WriteError ? WriteError : EIO);
    if (!WriteAll(Fd, Buffer)) return Fail(errno);
    if (::fsync(Fd) != 0) return Fail(errno);
    const int Closed = ::close(Fd);
    Fd = -1;
    if (Closed != 0) return Fail(errno);
    if (::rename(Temp.c_str(), Target.c_str()) != 0) return Fail(errno);
    // The new name itself reaches the disk too (best effort).
    const std::string Dir = Folder(Target).empty() ? std::string(".") : Folder(Target);
    const int DirFd = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd >= 0) {
        (void)::fsync(DirFd);
        ::close(DirFd);
    }
    Result.Ok = true;
    return Result;
}

} // namespace finder
