#pragma once
// The group and member records of the Outlook mode: duplicate e-mails and
// duplicate contacts. A group's compared values are those of the item that
// opened it and never change; members follow in the order they joined.
#include <cstdint>
#include <string>
#include <vector>

#include "finder/core/DataRecordUnit.h"
#include "platform/Mailbox.h"

namespace finder {

struct TScanMailResult {
    std::string Subject;       // trimmed
    std::string ReceivedTime;  // the received time as text
    std::string SenderName;    // trimmed
    std::string EntryID;       // as read
    int64_t Size = 0;
    TDateTime Received = 0;    // the time the text stands for, whole seconds
    plat::TItemStamp Stamp;    // its file as the scan read it
};

struct TSearchStatMail : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::Mail; }
    std::string Subject;         // trimmed, of the first e-mail
    std::string BodyDigest;      // MD5 of the first e-mail's Body, 32 hex digits
    std::string HTMLBodyDigest;  // and of its HTMLBody
    std::vector<TScanMailResult> Mails;
};

struct TScanContactResult {
    std::string FirstName, LastName, Nickname;
    std::string BusinessTelephoneNumber;  // as read for the first contact, trimmed for the others
    std::string Email1Address, Email2Address, Email3Address;
    std::string EntryID;
    plat::TItemStamp Stamp;  // its file as the scan read it
};

struct TSearchStatContact : TGroupRecord {
    TGroupKind Kind() const override { return TGroupKind::Contact; }
    std::string FirstName, LastName, Nickname;
    std::string Email1Address, Email2Address, Email3Address;
    std::vector<TScanContactResult> Contacts;
};

} // namespace finder
