#include "finder/core/ResultRows.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "finder/core/OutlookResults.h"
#include "finder/core/ResultOrdering.h"

namespace finder {

namespace {

std::function<std::string(TDateTime)>& Formatter()
{
    static std::function<std::string(TDateTime)> F;
    return F;
}

// Rounds N / D to the nearest whole number, a half to the even neighbour.
int64_t RoundDiv(int64_t N, int64_t D)
{
    int64_t Q = N / D;
    const int64_t R = N % D;
    if (2 * R > D || (2 * R == D && (Q & 1))) ++Q;
    return Q;
}

std::string Format(const char* Fmt, long long V)
{
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, Fmt, V);
    return Buf;
}

// The name a group goes by: its key, or its opening file's name.
template <class G>
const TNameText& GroupName(const G& Group)
{
    if constexpr (requires { Group.Name(); }) return Group.Name();
    else return Group.Name;
}

template <class G>
TPathText GroupPath(const G& Group)
{
    if constexpr (requires { Group.Folder(); }) return {Group.Folder(), Group.Name()};
    else return {Group.Folder, Group.Name};
}

template <class G, class C>
void AppendGroup(const G& Group, const C& Files, const TPathText& HeaderText, bool SameName, int32_t GroupNo,
                 TRowList& Rows)
{
    using M = typename C::value_type;
    constexpr bool Similar = requires(const M& F) { F.Similarity; };
    auto Make = [&]() -> std::unique_ptr<TSearchResult> {
        if constexpr (Similar) return std::make_unique<TSearchSimilarResult>();
        else return std::make_unique<TSearchResult>();
    };
    auto Header = Make();
    Header->RowKind = 0;
    Header->Text = HeaderText;
    Header->GroupCount = Group.Count;
    Header->GroupNo = GroupNo;
    if constexpr (Similar) static_cast<TSearchSimilarResult&>(*Header).Similarity = 100.0;
    Rows.push_back(std::move(Header));
    for (const M& F : Files) {
        auto Row = Make();
        Row->RowKind = 1;
        Row->GroupCount = Group.Count;
        Row->GroupNo = GroupNo;
        Row->Size = F.Size;
        Row->Modified = F.Modified;
        Row->Created = F.Created;
        Row->WriteTime = F.WriteTime;
        CopyStamp(*Row, F);
        Row->Text = {TFolderText(), GroupName(Group)};
        if constexpr (requires { F.Name; }) {
            Row->Path = {F.Folder, F.Name};
        } else {
            (void)SameName;
            Row->Path = {F.Folder, TNameText()};
        }
        if constexpr (Similar) static_cast<TSearchSimilarResult&>(*Row).Similarity = F.Similarity;
        Rows.push_back(std::move(Row));
    }
}

} // namespace

void SetDateTimeFormatter(std::function<std::string(TDateTime)> F) { Formatter() = std::move(F); }

std::string DateTimeText(TDateTime Value)
{
    if (Formatter()) return Formatter()(Value);
    const plat::TSystemTime T = plat::DecodeDateTime(Value);
    std::tm Tm{};
    Tm.tm_year = T.Year - 1900;
    Tm.tm_mon = T.Month - 1;
    Tm.tm_mday = T.Day;
    Tm.tm_hour = T.Hour;
    Tm.tm_min = T.Minute;
    Tm.tm_sec = T.Second;
    Tm.tm_wday = T.DayOfWeek;
    char Buf[128];
    const size_t N = std::strftime(Buf, sizeof Buf, "%x %X", &Tm);
    return std::string(Buf, N);
}

std::string SizeText(int64_t Size)
{
    const int64_t Mb = RoundDiv(Size, 1048576);
    if (Mb > 0) return Format("%lld MB", Mb);
    const int64_t Kb = RoundDiv(Size, 1024);
    if (Kb > 0) return Format("%lld KB", Kb);
    return Format("%lld B", Size);
}

std::string BuildResultRows(TGroupList& Groups, TScanKind Kind, const TSortState& Sort, TRowList& Rows)
{
    switch (Kind) {
    case TScanKind::FileName: SortNameGroups(Groups, Sort.FileSortColumn, Sort.SortDirection); break;
    case TScanKind::FileBye: SortByteGroups(Groups, Sort.FileSortColumn, Sort.SortDirection); break;
    case TScanKind::Similar: SortSimilarGroups(Groups, Sort.FileSortColumn, Sort.SortDirection); break;
    default: break;
    }
    Rows.clear();
    int32_t GroupNo = 0;
    long long Members = 0;
    for (const auto& Group : Groups) {
        if (Kind == TScanKind::None || Group->Count < 2) continue;
        switch (Group->Kind()) {
        case TGroupKind::SameName: {
            if (Kind != TScanKind::FileName) continue;
            const auto& G = static_cast<const TSearchStat&>(*Group);
            AppendGroup(G, G.Files, {TFolderText(), G.Name}, true, ++GroupNo, Rows);
            Members += int64_t(G.Files.size());
            break;
        }
        case TGroupKind::SameContent: {
            if (Kind != TScanKind::FileBye) continue;
            const auto& G = static_cast<const TSearchStatBye&>(*Group);
            AppendGroup(G, G.Files, GroupPath(G), false, ++GroupNo, Rows);
            Members += int64_t(G.Files.size());
            break;
        }
        case TGroupKind::SongTitle: {
            if (Kind != TScanKind::Title) continue;
            const auto& G = static_cast<const TSearchStatID3&>(*Group);
            AppendGroup(G, G.Files, G.Folder + G.Name, false, ++GroupNo, Rows);
            Members += int64_t(G.Files.size());
            break;
        }
        case TGroupKind::SimilarPicture: {
            if (Kind != TScanKind::Similar) continue;
            const auto& G = static_cast<const TSearchSimilar&>(*Group);
            AppendGroup(G, G.Files, G.Folder + G.Name, false, ++GroupNo, Rows);
            Members += int64_t(G.Files.size());
            break;
        }
        case TGroupKind::Mail:
        case TGroupKind::Contact: break;
        }
    }
    char Buf[160];
    std::snprintf(Buf, sizeof Buf, "%d duplicate groups found where %lld Files are contained within.", GroupNo,
                  Members);
    return Buf;
}

TRowTexts RowTexts(const TResultRow& Base, int Mode, TScanKind Kind)
{
    TRowTexts T;
    if (OutlookRowTexts(Base, T)) return T;
    T.ImageIndex = Base.Checked ? 1 : 0;
    const auto* Row = dynamic_cast<const TSearchResult*>(&Base);
    if (!Row) return T;
    T.SubItems.resize(5);
    if (Row->RowKind == 0) {
        T.Caption = Row->Text.str();
        T.SubItems[0] = Format("%lld ", Row->GroupCount) + " files";
        T.SubItems[3] = Format("%lld", Row->GroupNo);
        T.SubItems[4] = "0";
        T.Indent = 0;
        return T;
    }
    T.Indent = 1;
    T.Caption = (Kind == TScanKind::FileName && Mode == 4) ? Row->Path + Row->Text : Row->Path.str();
    T.SubItems[0] = SizeText(Row->Size);
    T.SubItems[1] = DateTimeText(Row->Modified);
    if (const auto* S = dynamic_cast<const TSearchSimilarResult*>(Row)) {
        char Buf[64];
        // "0.00" rounds a half away from zero: 90.125 reads 90.13.
        std::snprintf(Buf, sizeof Buf, "%.2f%%", std::round(S->Similarity * 100.0) / 100.0);
        T.SubItems[2] = Buf;
    } else {
        T.SubItems[2] = DateTimeText(Row->Created);
    }
    T.SubItems[3] = Format("%lld", Row->GroupNo);
    T.SubItems[4] = "1";
    return T;
}

std::string RowFilePath(const TSearchResult& Row, TScanKind Kind)
{
    return Kind == TScanKind::FileName ? Row.Path + Row.Text : Row.Path.str();
}

void SelectAllDuplicates(TRowList& Rows, bool State)
{
    bool AfterHeader = false;
    for (auto& Row : Rows) {
        if (Row->RowKind == 0) {
            Row->Checked = State;
            AfterHeader = true;
        } else {
            Row->Checked = AfterHeader ? false : State;
            AfterHeader = false;
        }
    }
}

void ToggleRowTick(TRowList& Rows, size_t Index)
{
    if (Index >= Rows.size()) return;
    TResultRow& Row = *Rows[Index];
    if (Row.RowKind != 0) {
        Row.Checked = !Row.Checked;
        return;
    }
    const bool Tick = !Row.Checked;
    Row.Checked = Tick;
    for (size_t I = Index + 1; I < Rows.size() && Rows[I]->RowKind != 0; ++I)
        Rows[I]->Checked = Tick && I != Index + 1;
}

void FileColumnClick(int Column, TSortState& Sort)
{
    Sort.SortDirection = Sort.SortDirection == 0 ? 1 : 0;
    if (Column < 0 || Column > 3) return;
    const uint8_t Key = uint8_t(Column + 1);
    if (Key != Sort.FileSortColumn) {
        Sort.SortDirection = 0;
        Sort.FileSortColumn = Key;
    }
}

} // namespace finder
