#include "platform/MountTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

using namespace plat;

// Local disks are offered, removable ones as such; network, optical, RAM and
// pseudo file systems are hidden and never asked for their space (a dead
// server would hang us); the top one of two mounts on one path counts.
TEST(MountTable, ParsesAndClassifiesMountInfo) {
    const char* const Sample =
        "22 1 0:21 / / rw,relatime shared:1 - overlay overlay rw,lowerdir=/a\n"
        "23 22 0:22 / /proc rw,nosuid shared:2 - proc proc rw\n"
        "30 22 8:2 / /home rw,relatime shared:8 - ext4 /dev/sda2 rw\n"
        "31 22 8:17 / /media/usb rw,relatime shared:9 - vfat /dev/sdb1 rw\n"
        "32 22 0:40 / /mnt/nfs rw shared:10 - nfs4 server:/export rw\n"
        "34 22 11:0 / /mnt/cd ro shared:12 - iso9660 /dev/sr0 ro\n"
        "35 22 8:3 / /media/My\\040Disk rw - ntfs3 /dev/sda3 rw\n"
        "36 22 8:4 / /data rw - xfs /dev/sda4 rw\n"
        "37 22 0:42 / /data rw - tmpfs tmpfs rw\n"
        "39 22 8:6 / /gone rw - btrfs /dev/sda6 rw\n"
        "garbage line without fields\n"
        "40 22 x:y / /bad rw - ext4 /dev/sdz rw\n"
        "41 22 8:7 / relative rw - ext4 /dev/sdy rw\n"
        "42 22 8:8 / /nodash rw ext4 /dev/sdx rw\n";
    std::vector<std::string> Asked;
    TMountProbe P;
    P.Removable = [](unsigned Major, unsigned Minor) { return Major == 8 && Minor == 17; };
    P.Label = [](const std::string& Device) { return Device == "/dev/sda3" ? std::string("Photos") : std::string(); };
    P.Space = [&Asked](const std::string& Path, uint64_t& Free) {
        Asked.push_back(Path);
        Free = Path == "/media/usb" ? 1000 : 5000000000ull;
        return Path != "/gone";
    };
    std::map<std::string, TMountEntry> M;
    std::vector<std::string> Order;
    for (const auto& E : ParseMountInfo(Sample, P)) {
        M[E.MountPath] = E;
        Order.push_back(E.MountPath);
    }
    const auto F = TMountKind::Fixed, H = TMountKind::Hidden, R = TMountKind::Removable;
    const std::map<std::string, TMountKind> Kinds = {{"/", F}, {"/data", H}, {"/gone", F}, {"/home", F}, {"/media/My Disk", F},
                                                     {"/media/usb", R}, {"/mnt/cd", H}, {"/mnt/nfs", H}, {"/proc", H}};
    std::vector<std::string> Paths;  // one entry per path, sorted
    for (const auto& [Path, Kind] : Kinds) {
        Paths.push_back(Path);
        EXPECT_EQ(M[Path].Kind, Kind) << Path;
    }
    EXPECT_EQ(Order, Paths);
    EXPECT_EQ(MountDisplayName(M["/media/My Disk"]), "Photos");
    EXPECT_EQ(M["/home"].Device + " " + M["/home"].FsType, "/dev/sda2 ext4");
    EXPECT_EQ(M["/media/usb"].FreeBytes, 1000u);
    EXPECT_TRUE(M["/home"].Ready && !M["/gone"].Ready && M["/gone"].FreeBytes == 0);
    std::sort(Asked.begin(), Asked.end());
    EXPECT_EQ(Asked, (std::vector<std::string>{"/", "/gone", "/home", "/media/My Disk", "/media/usb"}));
}

} // namespace
