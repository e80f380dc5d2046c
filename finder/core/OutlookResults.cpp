#include "finder/core/OutlookResults.h"

#include <cstdio>

#include "finder/core/ResultOrdering.h"

namespace finder {

namespace {

template <class G, class KeyOf>
void SortGroups(TGroupList& Groups, TGroupKind Kind, uint8_t Direction, KeyOf Key)
{
    std::vector<std::string> Keys;
    Keys.reserve(Groups.size());
    for (const auto& Group : Groups)
        Keys.push_back(Group->Kind() == Kind ? TrimKey(Key(static_cast<const G&>(*Group))) : std::string());
    Permute(Groups, SortOrder(Keys, Direction));
}

template <class KeyOf>
void SortMails(TGroupList& Groups, uint8_t Direction, KeyOf Key)
{
    for (auto& Group : Groups) {
        if (Group->Kind() != TGroupKind::Mail) continue;
        auto& Mails = static_cast<TSearchStatMail&>(*Group).Mails;
        std::vector<decltype(Key(Mails[0]))> Keys;
        Keys.reserve(Mails.size());
        for (const TScanMailResult& M : Mails) Keys.push_back(Key(M));
        Permute(Mails, SortOrder(Keys, Direction));
    }
}

std::string Number(long long V) { return std::to_string(V); }

std::string Count(int32_t N, const char* Kind) { return Number(N) + " " + Kind; }

} // namespace

void SortMailGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction)
{
    using M = TSearchStatMail;
    switch (Key) {
    case 0: SortGroups<M>(Groups, TGroupKind::Mail, Direction, [](const M& G) { return G.Subject; }); break;
    case 1: SortMails(Groups, Direction, [](const TScanMailResult& M) { return int64_t(M.Size); }); break;
    case 2: SortMails(Groups, Direction, [](const TScanMailResult& M) { return M.ReceivedTime; }); break;
    case 3: SortMails(Groups, Direction, [](const TScanMailResult& M) { return M.SenderName; }); break;
    default: break;
    }
}

void SortContactGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction)
{
    using C = TSearchStatContact;
    switch (Key) {
    case 0: SortGroups<C>(Groups, TGroupKind::Contact, Direction, [](const C& G) { return G.FirstName; }); break;
    case 1: SortGroups<C>(Groups, TGroupKind::Contact, Direction, [](const C& G) { return G.LastName; }); break;
    case 2: SortGroups<C>(Groups, TGroupKind::Contact, Direction, [](const C& G) { return G.Nickname; }); break;
    case 3: SortGroups<C>(Groups, TGroupKind::Contact, Direction, [](const C& G) { return G.Email1Address; }); break;
    default: break;
    }
}

std::string BuildOutlookRows(TGroupList& Groups, bool Email, uint8_t SortColumn, uint8_t Direction, TRowList& Rows)
{
    if (Email) SortMailGroups(Groups, SortColumn, Direction);
    else SortContactGroups(Groups, SortColumn, Direction);
    Rows.clear();
    int32_t GroupNo = 0;
    long long Members = 0;
    for (const auto& Group : Groups) {
        if (Group->Count < 2) continue;
        if (Email && Group->Kind() == TGroupKind::Mail) {
            const auto& G = static_cast<const TSearchStatMail&>(*Group);
            auto H = std::make_unique<TSearchMailResult>();
            H->RowKind = 0;
            H->Subject = G.Subject;
            H->GroupCount = G.Count;
            H->GroupNo = ++GroupNo;
            Rows.push_back(std::move(H));
            for (const TScanMailResult& M : G.Mails) {
                auto R = std::make_unique<TSearchMailResult>();
                R->RowKind = 1;
                R->Subject = M.Subject;
                R->GroupCount = G.Count;
                R->GroupNo = GroupNo;
                R->Size = M.Size;
                R->ReceivedTime = M.ReceivedTime;
                R->SenderName = M.SenderName;
                R->EntryID = M.EntryID;
                Rows.push_back(std::move(R));
                ++Members;
            }
        } else if (!Email && Group->Kind() == TGroupKind::Contact) {
            const auto& G = static_cast<const TSearchStatContact&>(*Group);
            auto H = std::make_unique<TSearchContactResult>();
            H->RowKind = 0;
            // The header holds both names in FirstName.
            H->FirstName = G.FirstName + " " + G.LastName;
            H->GroupCount = G.Count;
            H->GroupNo = ++GroupNo;
            Rows.push_back(std::move(H));
            for (const TScanContactResult& M : G.Contacts) {
                auto R = std::make_unique<TSearchContactResult>();
                R->RowKind = 1;
                R->FirstName = M.FirstName;
                R->LastName = M.LastName;
                R->Nickname = M.Nickname;
                R->BusinessTelephoneNumber = M.BusinessTelephoneNumber;
                R->Email1Address = M.Email1Address;
                R->GroupCount = G.Count;
                R->GroupNo = GroupNo;
                R->EntryID = M.EntryID;
                Rows.push_back(std::move(R));
                ++Members;
            }
        }
    }
    return Number(GroupNo) + " duplicate groups found where " + Number(Members) + " " +
           (Email ? "Emails" : "Contacts") + " are contained within.";
}

bool OutlookRowTexts(const TResultRow& Base, TRowTexts& T)
{
    const auto* Mail = dynamic_cast<const TSearchMailResult*>(&Base);
    const auto* Contact = dynamic_cast<const TSearchContactResult*>(&Base);
    if (!Mail && !Contact) return false;
    T = TRowTexts{};
    T.ImageIndex = Base.Checked ? 1 : 0;
    T.SubItems.resize(6);
    const int32_t GroupNo = Mail ? Mail->GroupNo : Contact->GroupNo;
    T.SubItems[3] = Number(GroupNo);
    T.SubItems[5] = Mail ? Mail->EntryID : Contact->EntryID;
    if (Base.RowKind == 0) {
        T.Caption = Mail ? Mail->Subject : Contact->FirstName + " " + Contact->LastName;
        T.SubItems[0] = Number(Mail ? Mail->GroupCount : Contact->GroupCount) + "  " + (Mail ? "mails" : "contacts");
        T.SubItems[4] = "0";
        return true;
    }
    T.Indent = 1;
    T.SubItems[4] = "1";
    if (Mail) {
        T.Caption = Mail->Subject;
        T.SubItems[0] = SizeText(Mail->Size);
        T.SubItems[1] = Mail->ReceivedTime;
        T.SubItems[2] = Mail->SenderName;
    } else {
        T.Caption = Contact->FirstName + " " + Contact->LastName;
        T.SubItems[0] = Contact->Nickname;
        T.SubItems[1] = Contact->BusinessTelephoneNumber;
        T.SubItems[2] = Contact->Email1Address;
    }
    return true;
}

void OutlookColumnClick(int Column, uint8_t& Field, uint8_t& Direction)
{
    Direction = Direction == 0 ? 1 : 0;
    if (Column < 0 || Column > 3 || Field == uint8_t(Column)) return;
    Direction = 0;
    Field = uint8_t(Column);
}

std::shared_ptr<plat::TOutlookItem> FindOutlookItem(const plat::TOutlookItems& Items, const std::string& EntryID)
{
    return Items.Find(EntryID);
}

int32_t DeleteOutlookSelected(const TRowList& Rows, bool Email, const plat::TOutlookNameSpace* NameSpace,
                              std::shared_ptr<plat::TOutlookItems>& Folder, TDeleteSummary& S, std::string& Error,
                              const std::function<void()>& ProcessMessages)
{
    S = TDeleteSummary{};
    Error.clear();
    const char* Kind = Email ? "mails" : "contacts";
    const int Number = Email ? plat::olFolderInbox : plat::olFolderContacts;
    auto Fresh = [&] { Folder = NameSpace ? NameSpace->GetDefaultFolder(Number)->Items() : nullptr; };
    // Removes the item with this EntryID from Folder; false when it has none.
    auto Remove = [&](const std::string& EntryID) {
        if (!Folder) Fresh();
        auto Found = Folder ? FindOutlookItem(*Folder, EntryID) : nullptr;
        if (!Found) return false;
        Found->Delete();
        return true;
    };
    for (const auto& Base : Rows) {
        if (ProcessMessages) ProcessMessages();
        if (Base->RowKind != 1) continue;
        ++S.Found;
        if (!Base->Checked) continue;
        const auto* Mail = dynamic_cast<const TSearchMailResult*>(Base.get());
        const auto* Contact = dynamic_cast<const TSearchContactResult*>(Base.get());
        if (!Mail && !Contact) continue;
        ++S.Selected;
        TDeleteOutcome Item;
        Item.Caption = Mail ? Mail->Subject
                            : Contact->FirstName + " " + Contact->LastName + " (" + Contact->Email1Address + ")";
        const std::string& EntryID = Mail ? Mail->EntryID : Contact->EntryID;
        // Items are found by EntryID, never by index, so the collection
        // serves on after a removal. Only an item it no longer finds where
        // it was (moved by another program, say) is looked for in a fresh
        // one; a row whose item is in neither fails: nothing else may be
        // taken in its place.
        try {
            try {
                Item.Succeeded = Remove(EntryID);
            } catch (const plat::EOutlookItemGone&) {
            }
            if (!Item.Succeeded) {
                Fresh();
                Item.Succeeded = Remove(EntryID);
            }
        } catch (const plat::EOutlookError& E) {
            if (Error.empty()) Error = E.what();
        }
        ++(Item.Succeeded ? S.Succeeded : S.Failed);
        S.Items.push_back(std::move(Item));
    }
    S.DelStatus1 = Count(S.Found, Kind) + " have been found. " + Count(S.Selected, Kind) +
                   " were selected for deletion.";
    S.DelStatus2 = Count(S.Succeeded, Kind) + " have been deleted successfully.";
    S.DelStatus3 = "Fail to delete " + Count(S.Failed, Kind) + ".";
    S.Red = S.Failed > 0;
    return S.Succeeded + S.Failed;
}

} // namespace finder
