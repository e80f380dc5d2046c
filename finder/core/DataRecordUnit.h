#pragma once
// The group and member records of a file scan. A group describes itself by
// its first member (the file that opened it); members follow in the order
// they joined. Sizes are 64-bit throughout.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileTime.h"

namespace finder {

// A folder path shared by every member found in that folder, so that a scan
// over many files keeps each folder's text once. Ends in "/".
class TFolderText {
public:
    TFolderText() = default;
    explicit TFolderText(std::string Text) : FText(std::make_shared<const std::string>(std::move(Text))) {}
    const std::string& str() const { return FText ? *FText : Empty(); }
    operator const std::string&() const { return str(); }
    bool operator==(const TFolderText& O) const { return str() == O.str(); }

private:
    std::shared_ptr<const std::string> FText;
    static const std::string& Empty()
    {
        static const std::string E;
        return E;
    }
};

inline std::string operator+(const TFolderText& Folder, const std::string& Name) { return Folder.str() + Name; }

// Every member also keeps what the scan saw of its file beyond size and
// write time (WriteTime): Inode, ChangeTime (status change, a file time)
// and Device (plat::PackDevice). A deletion removes only that very file.
template <class To, class From>
void CopyStamp(To& T, const From& F)
{
    T.Inode = F.Inode;
    T.ChangeTime = F.ChangeTime;
    T.Device = F.Device;
}

enum class TGroupKind { SameName, SameContent, SongTitle, SimilarPicture, Mail, Contact };

// Base of every group record in the group list.
struct TGroupRecord {
    virtual ~TGroupRecord() = default;
    virtual TGroupKind Kind() const = 0;
    int32_t Count = 0;  // always the number of members
};

using TGroupList = std::vector<std::unique_ptr<TGroupRecord>>;

// A member of a same-name group; its name is the group's Name.
struct TScanResult {
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    TFolderText Folder;
    uint64_t WriteTime = 0;  // the file time the scan saw, so a changed file is not deleted
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
    // Only the name was read: a file alone in its group needs no size or
    // times, so these are read when a second file joins.
    bool Unread = false;
};

struct TSearchStat : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::SameName; }
    std::string Name;
    std::vector<TScanResult> Files;
};

// A member of a same-content or song-title group.
struct TScanResultBye {
    std::string Name;
    TFolderText Folder;
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    uint64_t WriteTime = 0;
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
};

struct TSearchStatBye : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::SameContent; }
    std::string Name;
    TFolderText Folder;
    int64_t Size = 0;
    TDateTime Modified = 0;
    int64_t TotalSize = 0;
    std::vector<TScanResultBye> Files;
};

struct TSearchStatID3 : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::SongTitle; }
    std::string Title;
    std::string Artist;
    std::string Name;
    TFolderText Folder;
    int64_t Size = 0;
    TDateTime Modified = 0;
    int64_t TotalSize = 0;
    std::vector<TScanResultBye> Files;
};

struct TScanResultSimilar {
    std::string Name;
    TFolderText Folder;
    double Similarity = 0;  // percent of likeness to the first picture
    int64_t Size = 0;
    TDateTime Modified = 0;
    TDateTime Created = 0;
    uint64_t WriteTime = 0;
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;
    uint32_t Device = 0;
};

struct TSearchSimilar : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::SimilarPicture; }
    std::string Name;
    TFolderText Folder;
    double Size = 0;
    TDateTime Modified = 0;
    int64_t TotalSize = 0;  // the first picture's size; joining pictures leave it
    std::vector<TScanResultSimilar> Files;
};

} // namespace finder
