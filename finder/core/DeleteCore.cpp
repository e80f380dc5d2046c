#include "finder/core/DeleteCore.h"

#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/DirectoryReader.h"
#include "platform/Shell.h"

namespace finder {

namespace {

bool DeleteForGood(const std::string& Path)
{
    struct stat St;
    if (::lstat(Path.c_str(), &St) == 0 && !(St.st_mode & S_IWUSR)) ::chmod(Path.c_str(), St.st_mode | S_IWUSR);
    return ::unlink(Path.c_str()) == 0;
}

// The file must still be the one the scan listed.
bool Unchanged(const std::string& Path, const TSearchResult& Row)
{
    plat::TWin32FindData Now;
    if (!plat::StatEntry(Path, Now) || Now.IsDirectory()) return false;
    return int64_t(Now.Size()) == Row.Size && Now.ftLastWriteTime == Row.WriteTime;
}

std::string Count(int32_t N, const char* Kind) { return std::to_string(N) + " " + Kind; }

} // namespace

std::string DeleteConfirmationText(bool ToRecycleBin)
{
    return ToRecycleBin ? "The selected files will be moved to the recycle bin \rwhere you can recover the files if "
                          "needed. \r\rAre you sure to proceed?"
                        : "The files will be permanently deleted and can not recovered!\r\rAre you sure to proceed?";
}

int32_t DeleteSelected(const TRowList& Rows, TScanKind Kind, bool ToRecycleBin, TDeleteSummary& S,
                       const std::function<void()>& ProcessMessages, TDeleteHooks Hooks)
{
    S = TDeleteSummary{};
    if (!Hooks.Trash) Hooks.Trash = [](const std::string& P) { return plat::MoveToTrash(P); };
    if (!Hooks.Delete) Hooks.Delete = DeleteForGood;
    for (const auto& Base : Rows) {
        if (ProcessMessages) ProcessMessages();
        if (Base->RowKind != 1) continue;
        ++S.Found;
        if (!Base->Checked) continue;
        const auto* Row = dynamic_cast<const TSearchResult*>(Base.get());
        if (!Row) continue;
        ++S.Selected;
        TDeleteOutcome Item;
        Item.Caption = RowFilePath(*Row, Kind);
        if (Unchanged(Item.Caption, *Row))
            Item.Succeeded = ToRecycleBin ? Hooks.Trash(Item.Caption) : Hooks.Delete(Item.Caption);
        ++(Item.Succeeded ? S.Succeeded : S.Failed);
        S.Items.push_back(std::move(Item));
    }
    S.DelStatus1 = Count(S.Found, "files") + " have been found. " + Count(S.Selected, "files") +
                   " were selected for deletion.";
    S.DelStatus2 = Count(S.Succeeded, "files") + " have been deleted successfully.";
    S.DelStatus3 = "Fail to delete " + Count(S.Failed, "files") + ".";
    S.Red = S.Failed > 0;
    return S.Succeeded + S.Failed;
}

} // namespace finder
