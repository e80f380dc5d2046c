#pragma once
// The Outlook mode's scan without the window: the connection to the mailbox
// component, the walk over the default folder's items and the matching of
// each item with the groups found so far. Each item is read once; the
// groups are found through an index on the criterion, which gives the same
// groups in the same order as comparing with every group in turn.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "finder/core/OutlookRecords.h"
#include "finder/core/ScanCore.h"
#include "platform/Mailbox.h"

namespace finder {

struct TOutlookOptions {
    int Kind = 1;                          // OutlookItemKind: 1 e-mails (rbEmail), 2 contacts (rbLinkman)
    TScanKind Criterion = TScanKind::FileName;  // rbScanFileName, rbScanFileBye, rbScanTitle
    bool SameDate = false;                 // cbFileModifyTime
    bool SameSize = false;                 // cbFileSize
    bool SameSender = false;               // cbMailSender
    int PumpIntervalMs = 5;
};

// What the matching reads of one e-mail.
struct TMailValues {
    std::string RawSubject;  // as read, for the scanning page
    std::string Subject;     // trimmed
    std::string SenderName;  // trimmed
    std::string ReceivedTime;
    TDateTime Received = 0;
    int64_t Size = 0;
    std::string EntryID;
    // Only for "Scan for same content": the digests of the bodies with CRLF
    // as LF; of a message with neither body, the raw body's and "".
    std::string BodyDigest, HTMLBodyDigest;
    plat::TItemStamp Stamp;  // the file read
};

// What the matching reads of one contact.
struct TContactValues {
    std::string FullName;  // as read, for the scanning page
    std::string FirstName, LastName, Nickname;  // trimmed
    std::string Phone;     // as read
    std::string Email1Address, Email2Address, Email3Address;  // trimmed
    std::string EntryID;
    plat::TItemStamp Stamp;  // its file as read
};

// The e-mail's values, read with one parse of its message (the bodies only
// when Digests). Throws plat::EOutlookError when it cannot be read.
TMailValues ReadMailValues(plat::TMailItem& Item, bool Digests);
TContactValues ReadContactValues(plat::TContactItem& Item);

// What the window shows of an item's text: at most ShownChars characters
// (UTF-8), "…" where it was cut, a NUL byte as U+FFFD. Laying out megabytes
// would hold it up; the matching keeps the whole text.
constexpr size_t ShownChars = 300;
std::string ShownText(std::string_view Text);

class TOutlookScan {
public:
    TOutlookScan(const TOutlookOptions& Options, uint8_t& RunState, TGroupList& Groups, TScanCallbacks Callbacks = {});

    // The connection and the walk. RunState is 1 on entry and 3 afterwards
    // unless a stop was requested. A mailbox that cannot be reached or read
    // ends the run with the groups found so far and the reason in the outcome.
    TScanOutcome Run();

    void OutlookScanFolder(plat::TOutlookItems& Items, int Kind);
    void MatchOutlookItem(bool& Unmatched, const TMailValues& Item);
    void MatchOutlookItem(bool& Unmatched, const TContactValues& Item);
    void NewOutlookGroup(const TMailValues& Item);
    void NewOutlookGroup(const TContactValues& Item);

    // What the connection leaves for showing and deleting items.
    std::shared_ptr<plat::TOutlookApplication> OutlookApp;
    std::shared_ptr<plat::TOutlookNameSpace> NameSpace;
    std::shared_ptr<plat::TOutlookItems> OutlookFolder;

    int64_t DuplicateGroups() const { return FDupGroups; }
    int64_t DuplicateFiles() const { return FDupFiles; }
    int64_t ItemsRead() const { return FItemsRead; }
    int64_t ItemsSkipped() const { return FItemsSkipped; }

private:
    TOutlookOptions FOptions;
    TGroupList& FGroups;
    TScanCallbacks FCallbacks;
    std::string FCaption;  // the item shown on the scanning page at the next pump
    TRunControl FControl;
    // A key of one or two texts, viewed in the group record that holds them
    // (groups never move and their compared values never change).
    struct TKey {
        std::string_view A, B;
        bool operator==(const TKey&) const = default;
    };
    struct TKeyHash {
        size_t operator()(const TKey& K) const
        {
            const size_t H = std::hash<std::string_view>()(K.A);
            return H ^ (std::hash<std::string_view>()(K.B) + 0x9E3779B97F4A7C15ull + (H << 6) + (H >> 2));
        }
    };
    // The first group of each key. An empty key (no subject, no body, no
    // name, no nickname) is no key: such items never make a group.
    std::unordered_map<TKey, uint32_t, TKeyHash> FIndex;
    int64_t FDupGroups = 0, FDupFiles = 0, FItemsRead = 0, FItemsSkipped = 0;

    bool Criterion(TScanKind K) const { return FOptions.Criterion == K; }
    TKey MailKey(const std::string& Subject, const std::string& Body, const std::string& Html) const;
    // Makes room for a pump: false when the matching must stop here.
    bool BeforeGroups();
    void Joined(TGroupRecord& G);
    void Index(const TKey& Key, uint32_t Group);
    uint32_t Lookup(const TKey& Key) const;  // UINT32_MAX when no group has the key
};

} // namespace finder
