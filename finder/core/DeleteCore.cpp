#include "finder/core/DeleteCore.h"

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileTime.h"
#include "platform/PathAt.h"
#include "platform/Shell.h"

namespace finder {

namespace {

// The very file a row stands for: its folder opened without following a
// link, the entry looked at on that folder. Unlinking needs no permission
// on the file itself, so its mode is never touched.
class TScannedFile {
public:
    TScannedFile(const std::string& Path, const TSearchResult& Row)
    {
        FDir.Reset(plat::OpenParentNoFollow(Path, FName));
        const struct statx& X = FChecked;
        FSame = FDir.Valid() && plat::StatAt(FDir.Get(), FName.c_str(), FChecked) && S_ISREG(X.stx_mode) &&
                X.stx_ino == Row.Inode && plat::PackDevice(plat::DeviceId(X.stx_dev_major, X.stx_dev_minor)) == Row.Device &&
                int64_t(X.stx_size) == Row.Size && Stamp(X.stx_mtime) == Row.WriteTime &&
                Stamp(X.stx_ctime) == Row.ChangeTime;
    }
    bool Same() const { return FSame; }
    bool Unlink() const { return FSame && ::unlinkat(FDir.Get(), FName.c_str(), 0) == 0; }
    // The very entry checked goes, from the checked folder: no path is
    // looked up again, and another file renamed over it in between is put back.
    bool Trash(const std::string& Path) const
    {
        return FSame && plat::MoveToTrashAt(FDir.Get(), FName, Path, nullptr, &FChecked);
    }

private:
    plat::TFd FDir;
    std::string FName;
    struct statx FChecked{};
    bool FSame = false;

    static uint64_t Stamp(const statx_timestamp& T) { return plat::TimespecToFileTime({T.tv_sec, long(T.tv_nsec)}); }
};

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
    // The member rows of each row's group: the group begins at its header.
    std::vector<size_t> GroupStart(Rows.size(), 0);
    for (size_t I = 0, Start = 0; I < Rows.size(); ++I) {
        if (Rows[I]->RowKind != 1) Start = I;
        GroupStart[I] = Start;
    }
    // A copy the user keeps must still be there as the scan saw it.
    auto KeptCopyThere = [&](size_t Index) {
        bool AnyUnticked = false;
        for (size_t J = GroupStart[Index]; J < Rows.size() && (J == GroupStart[Index] || Rows[J]->RowKind == 1); ++J) {
            const auto* Kept = dynamic_cast<const TSearchResult*>(Rows[J].get());
            if (!Kept || Kept->RowKind != 1 || Kept->Checked) continue;
            AnyUnticked = true;
            if (TScannedFile(RowFilePath(*Kept, Kind), *Kept).Same()) return true;
        }
        return !AnyUnticked;  // every member ticked: the user's own choice
    };
    for (size_t I = 0; I < Rows.size(); ++I) {
        const TResultRow* Base = Rows[I].get();
        if (ProcessMessages) ProcessMessages();
        if (Base->RowKind != 1) continue;
        ++S.Found;
        if (!Base->Checked) continue;
        const auto* Row = dynamic_cast<const TSearchResult*>(Base);
        if (!Row) continue;
        ++S.Selected;
        TDeleteOutcome Item;
        Item.Caption = RowFilePath(*Row, Kind);
        const TScannedFile File(Item.Caption, *Row);
        if (File.Same() && KeptCopyThere(I)) {
            if (Hooks.AfterCheck) Hooks.AfterCheck();
            if (ToRecycleBin) Item.Succeeded = File.Trash(Item.Caption);
            else Item.Succeeded = Hooks.Delete ? Hooks.Delete(Item.Caption) : File.Unlink();
        }
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
