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
};

struct TSearchContactResult : TResultRow {
    std::string FirstName, LastName, Nickname, BusinessTelephoneNumber, Email1Address;
    int32_t GroupCount = 0;
    int32_t GroupNo = 0;
    std::string EntryID;
};

// Key 0 groups by trimmed Subject; members by 1 Size, 2 the ReceivedTime
// text, 3 SenderName (both untrimmed). Any other key changes nothing.
void SortMailGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);
// Groups by 0 FirstName, 1 LastName, 2 Nickname, 3 Email1Address, trimmed.
void SortContactGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);

// Orders the groups, rebuilds the rows (all unticked) and returns the status line.
std::string BuildOutlookRows(TGroupList& Groups, bool Email, uint8_t SortColumn, uint8_t Direction, TRowList& Rows);

// The texts of an e-mail or contact row; false for any other row.
bool OutlookRowTexts(const TResultRow& Row, TRowTexts& Texts);

// A click on column Column: flips the direction; a column 0 to 3 whose key
// differs from Field becomes the key, ascending.
void OutlookColumnClick(int Column, uint8_t& Field, uint8_t& Direction);

// The item of the collection with this EntryID, walking from index 1; null
// when none has it.
std::shared_ptr<plat::TOutlookItem> FindOutlookItem(const plat::TOutlookItems& Items, const std::string& EntryID);

// The confirmation question of the Delete button in the Outlook mode.
inline constexpr const char* OutlookDeleteConfirmationText =
    "The mails will be permanently deleted and can not recovered!\r\rAre you sure to proceed?";

// Removes every ticked member row's item, found by its EntryID in Folder,
// which is fetched afresh from NameSpace when it does not find the item
// where it was. A row whose item is gone or cannot be removed is "Failed".
// Error gets the first reason the mailbox gave. Returns Succeeded + Failed.
int32_t DeleteOutlookSelected(const TRowList& Rows, bool Email, const plat::TOutlookNameSpace* NameSpace,
                              std::shared_ptr<plat::TOutlookItems>& Folder, TDeleteSummary& Summary,
                              std::string& Error, const std::function<void()>& ProcessMessages = {});

} // namespace finder
