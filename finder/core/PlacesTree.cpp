#include "finder/core/PlacesTree.h"

#include <map>

#include "platform/DirectoryReader.h"

namespace places {

bool IsListedFolderAttr(uint32_t Attr) {
    switch (Attr) {
    case 16: case 17: case 18: case 19: case 48: case 50: case 51:
        return true;
    default:
        return false;
    }
}

bool IsOfferedDrive(const plat::TMountEntry& Entry) {
    switch (Entry.Kind) {
    case plat::TMountKind::Fixed:
        return true;
    case plat::TMountKind::Removable:
        // A removable medium that is missing or full is not worth offering.
        return Entry.Ready && Entry.FreeBytes > 0;
    case plat::TMountKind::Hidden:
        break;
    }
    return false;
}

std::string WithSlash(const std::string& Path) {
    std::string P = Path;
    while (P.size() > 1 && P.back() == '/') P.pop_back();
    if (P.empty() || P.back() != '/') P += '/';
    return P;
}

std::vector<TDirectoryInfo> ListDrives(const std::vector<plat::TMountEntry>& Mounts) {
    // Later entries of the same path were mounted on top of the earlier ones.
    std::map<std::string, const plat::TMountEntry*> Visible;
    std::vector<std::string> Order;
    for (const plat::TMountEntry& E : Mounts) {
        if (E.MountPath.empty()) continue;
        if (!Visible.count(E.MountPath)) Order.push_back(E.MountPath);
        Visible[E.MountPath] = &E;
    }
    std::vector<TDirectoryInfo> Drives;
    for (const std::string& Path : Order) {
        const plat::TMountEntry& E = *Visible[Path];
        if (!IsOfferedDrive(E)) continue;
        Drives.push_back({plat::MountDisplayName(E), WithSlash(E.MountPath)});
    }
    return Drives;
}

std::vector<TDirectoryInfo> ListDrives() {
    return ListDrives(plat::CurrentMountTable().Mounts());
}

void ShellDisplayName(const std::string& Path, std::string& Name) {
    Name.clear();
    if (Path.empty()) return;
    std::string P = WithSlash(Path);
    std::string Bare = P.size() > 1 ? P.substr(0, P.size() - 1) : P;
    for (const plat::TMountEntry& E : plat::CurrentMountTable().Mounts()) {
        if (E.MountPath == Bare) {
            Name = plat::MountDisplayName(E);
            return;
        }
    }
    const size_t Slash = Bare.rfind('/');
    // The root keeps its "/"; any other folder shows its own name.
    Name = Bare.size() == 1 || Slash == std::string::npos ? Bare : Bare.substr(Slash + 1);
}

bool AddSubFolders(const std::string& Path, TDirectoryList& List) {
    const std::string Folder = WithSlash(Path);
    plat::TDirectoryReader Reader;
    plat::TWin32FindData Data;
    if (Reader.FindFirst(Folder, Data)) {
        do {
            if (Data.cFileName == "." || Data.cFileName == "..") continue;
            if (!IsListedFolderAttr(Data.dwFileAttributes)) continue;
            // A listed folder shows its own name; asking the mount table for
            // every entry would make a large folder slow to open.
            auto Info = std::make_unique<TDirectoryInfo>();
            Info->DisplayName = Data.cFileName;
            Info->Path = Folder + Data.cFileName + "/";
            List.push_back(std::move(Info));
        } while (Reader.FindNext(Data));
        Reader.Close();
    }
    return !List.empty();
}

} // namespace places
