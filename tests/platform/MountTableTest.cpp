#include "platform/MountTable.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using namespace plat;

const char* const Sample =
    "22 1 0:21 / / rw,relatime shared:1 - overlay overlay rw,lowerdir=/a\n"
    "23 22 0:22 / /proc rw,nosuid shared:2 - proc proc rw\n"
    "24 22 0:23 / /sys rw,nosuid shared:3 - sysfs sysfs rw\n"
    "25 22 0:5 / /dev rw,nosuid shared:4 - devtmpfs udev rw,size=100k\n"
    "26 25 0:24 / /dev/pts rw shared:5 - devpts devpts rw\n"
    "27 22 0:25 / /run rw,nosuid shared:6 - tmpfs tmpfs rw\n"
    "28 24 0:26 / /sys/fs/cgroup rw shared:7 - cgroup2 cgroup2 rw\n"
    "30 22 8:2 / /home rw,relatime shared:8 - ext4 /dev/sda2 rw\n"
    "31 22 8:17 / /media/usb rw,relatime shared:9 - vfat /dev/sdb1 rw\n"
    "32 22 0:40 / /mnt/nfs rw shared:10 - nfs4 server:/export rw\n"
    "33 22 0:41 / /mnt/ssh rw shared:11 - fuse.sshfs me@host: rw\n"
    "34 22 11:0 / /mnt/cd ro shared:12 - iso9660 /dev/sr0 ro\n"
    "35 22 8:3 / /media/My\\040Disk rw - ntfs3 /dev/sda3 rw\n"
    "36 22 8:4 / /data rw - xfs /dev/sda4 rw\n"
    "37 22 0:42 / /data rw - tmpfs tmpfs rw\n"  // mounted over /data: the top one counts
    "38 22 8:5 / /srv rw - btrfs /dev/sda5 rw\n"
    "39 22 8:6 / /gone rw - ext4 /dev/sda6 rw\n"
    "garbage line without fields\n"
    "40 22 x:y / /bad rw - ext4 /dev/sdz rw\n"
    "41 22 8:7 / relative rw - ext4 /dev/sdy rw\n"
    "42 22 8:8 / /nodash rw ext4 /dev/sdx rw\n"
    "\n";

TMountProbe FakeProbe(std::vector<std::string>& Asked) {
    TMountProbe P;
    P.Removable = [](unsigned Major, unsigned Minor) { return Major == 8 && Minor == 17; };
    P.Label = [](const std::string& Device) {
        return Device == "/dev/sda3" ? std::string("Photos") : std::string();
    };
    P.Space = [&Asked](const std::string& Path, uint64_t& Free) {
        Asked.push_back(Path);
        if (Path == "/gone") return false;
        Free = Path == "/media/usb" ? 1000 : 5000000000ull;
        return true;
    };
    return P;
}

TEST(MountTable, ParsesAndClassifiesMountInfo) {
    std::vector<std::string> Asked;
    const auto Mounts = ParseMountInfo(Sample, FakeProbe(Asked));
    std::map<std::string, TMountEntry> M;
    std::vector<std::string> Order;
    for (const auto& E : Mounts) {
        M[E.MountPath] = E;
        Order.push_back(E.MountPath);
    }
    EXPECT_TRUE(std::is_sorted(Order.begin(), Order.end()));
    EXPECT_EQ(std::set<std::string>(Order.begin(), Order.end()).size(), Order.size());  // one per path
    EXPECT_EQ(M.count("/bad") + M.count("relative") + M.count("/nodash"), 0u);

    struct TExpect {
        const char* Path;
        TMountKind Kind;
    };
    for (const TExpect& X : std::vector<TExpect>{
             {"/", TMountKind::Fixed},          // an overlay root is still the system disk
             {"/proc", TMountKind::Hidden},     {"/sys", TMountKind::Hidden},
             {"/dev", TMountKind::Hidden},      {"/dev/pts", TMountKind::Hidden},
             {"/run", TMountKind::Hidden},      {"/sys/fs/cgroup", TMountKind::Hidden},
             {"/home", TMountKind::Fixed},      {"/media/usb", TMountKind::Removable},
             {"/mnt/nfs", TMountKind::Hidden},  {"/mnt/ssh", TMountKind::Hidden},
             {"/mnt/cd", TMountKind::Hidden},   {"/media/My Disk", TMountKind::Fixed},
             {"/data", TMountKind::Hidden},     {"/srv", TMountKind::Fixed},
             {"/gone", TMountKind::Fixed}}) {
        ASSERT_EQ(M.count(X.Path), 1u) << X.Path;
        EXPECT_EQ(M[X.Path].Kind, X.Kind) << X.Path;
    }
    EXPECT_EQ(M["/media/My Disk"].Label, "Photos");
    EXPECT_EQ(MountDisplayName(M["/media/My Disk"]), "Photos");
    EXPECT_EQ(MountDisplayName(M["/home"]), "/home");
    EXPECT_EQ(M["/home"].Device, "/dev/sda2");
    EXPECT_EQ(M["/home"].FsType, "ext4");
    EXPECT_EQ(M["/media/usb"].FreeBytes, 1000u);
    EXPECT_TRUE(M["/home"].Ready);
    EXPECT_FALSE(M["/gone"].Ready);
    EXPECT_EQ(M["/gone"].FreeBytes, 0u);
    // Hidden mounts are never asked for their space: a dead server would hang us.
    for (const auto& P : Asked) EXPECT_NE(M[P].Kind, TMountKind::Hidden) << P;
}

TEST(MountTable, ClassifyFsTypeTable) {
    struct TCase {
        const char* Type;
        bool Removable;
        TMountKind Kind;
    };
    for (const TCase& C : std::vector<TCase>{
             {"ext4", false, TMountKind::Fixed},       {"ext4", true, TMountKind::Removable},
             {"xfs", false, TMountKind::Fixed},        {"btrfs", false, TMountKind::Fixed},
             {"vfat", true, TMountKind::Removable},    {"exfat", false, TMountKind::Fixed},
             {"fuseblk", true, TMountKind::Removable}, {"iso9660", true, TMountKind::Hidden},
             {"udf", true, TMountKind::Hidden},        {"nfs", false, TMountKind::Hidden},
             {"cifs", false, TMountKind::Hidden},      {"smb3", false, TMountKind::Hidden},
             {"fuse.sshfs", false, TMountKind::Hidden}, {"9p", false, TMountKind::Hidden},
             {"tmpfs", false, TMountKind::Hidden},     {"ramfs", false, TMountKind::Hidden},
             {"proc", false, TMountKind::Hidden},      {"overlay", false, TMountKind::Hidden},
             {"squashfs", false, TMountKind::Hidden},  {"", false, TMountKind::Hidden}})
        EXPECT_EQ(ClassifyFsType(C.Type, C.Removable), C.Kind) << C.Type << " " << C.Removable;
}

class FakeTable : public IMountTable {
public:
    std::vector<TMountEntry> Mounts() override { return {TMountEntry{"/x", "ext4", "/dev/x", "", TMountKind::Fixed}}; }
};

TEST(MountTable, TestsInstallAFakeTable) {
    SetMountTable(std::make_shared<FakeTable>());
    ASSERT_EQ(CurrentMountTable().Mounts().size(), 1u);
    EXPECT_EQ(CurrentMountTable().Mounts()[0].MountPath, "/x");
    SetMountTable(nullptr);
    const auto Real = CurrentMountTable().Mounts();
    ASSERT_FALSE(Real.empty());
    EXPECT_NE(FindMount(Real, "/"), nullptr);
    EXPECT_EQ(FindMount(Real, "/")->Kind, TMountKind::Fixed);
}

} // namespace
