#pragma once
// The Outlook mode's results: the order of the e-mail and contact groups,
// their display rows and texts, the column clicks, and the removal of the
// ticked items through the mailbox component.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "finder/core/DeleteCore.h"
#include "finder/core/OutlookRecords.h"
#include "finder/core/ResultRows.h"
#include "platform/Mailbox.h"

namespace finder {

struct TSearchMailResult : TResultRow {
    std::string Subject;
    int32_t GroupCount = 0;
    int32_t GroupNo = 0;
    int64_t Size = 0;
    std::string ReceivedTime;
    std::string SenderName;
    std::string EntryID;
    plat::TItemStamp Stamp;
};

struct TSearchContactResult : TResultRow {
    std::string FirstName, LastName, Nickname, BusinessTelephoneNumber, Email1Address;
    int32_t GroupCount = 0;
    int32_t GroupNo = 0;
    std::string EntryID;
    plat::TItemStamp Stamp;
};

// Key 0 groups by trimmed Subject; members by 1 Size, 2 the ReceivedTime
// text, 3 SenderName (both untrimmed). Any other key changes nothing.
void SortMailGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);
// Groups by 0 FirstName, 1 LastName, 2 Nickname, 3 Email1Address, trimmed.
void SortContactGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);

// Orders the groups, rebuilds the rows (all unticked) and returns the status
// line, which also tells how many items the scan could not read.
std::string BuildOutlookRows(TGroupList& Groups, bool Email, uint8_t SortColumn, uint8_t Direction, TRowList& Rows,
                             int64_t Unread = 0);

// The texts of an e-mail or contact row, cut as ShownText cuts; false for
// any other row.
bool OutlookRowTexts(const TResultRow& Row, TRowTexts& Texts);

// A click on column Column: flips the direction; a column 0 to 3 whose key
// differs from Field becomes the key, ascending.
void OutlookColumnClick(int Column, uint8_t& Field, uint8_t& Direction);

// Shows the item with this EntryID, found in Folder or, when it is no longer
// where Folder found it (a mail program moved it from new/ to cur/ or changed
// its flags), in a fresh collection fetched from NameSpace, which then
// replaces Folder. EOutlookItemGone when neither has it.
void DisplayOutlookItem(const std::string& EntryID, bool Email, const plat::TOutlookNameSpace* NameSpace,
                        std::shared_ptr<plat::TOutlookItems>& Folder);

// The confirmation question of the Delete button in the Outlook mode.
inline constexpr const char* OutlookDeleteConfirmationText =
    "The mails will be permanently deleted and can not recovered!\r\rAre you sure to proceed?";

// Removes every ticked member row's item, found by its EntryID as
// DisplayOutlookItem finds it, and only while its file is the one the scan
// read and, when its group has unticked members, one of those is still there
// as the scan read it too (all ticked: the user's choice). Any other row is
// "Failed" and nothing of it moves. Error gets the first reason the mailbox
// gave. Returns Succeeded + Failed.
int32_t DeleteOutlookSelected(const TRowList& Rows, bool Email, const plat::TOutlookNameSpace* NameSpace,
                              std::shared_ptr<plat::TOutlookItems>& Folder, TDeleteSummary& Summary,
                              std::string& Error, const std::function<void()>& ProcessMessages = {});

} // namespace finder
