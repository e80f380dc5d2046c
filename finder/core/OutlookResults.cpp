#include "finder/core/OutlookResults.h"

#include <algorithm>
#include <cstdio>

#include "finder/core/OutlookScan.h"
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

// Act on the item with this EntryID in Folder; when Folder lacks it, or Act
// says no or finds it gone (moved by another program, say), once more on a
// fresh collection, which then replaces Folder. False when that lacks it too.
template <class F>
bool OnItem(const std::string& EntryID, bool Email, const plat::TOutlookNameSpace* NameSpace,
            std::shared_ptr<plat::TOutlookItems>& Folder, F Act)
{
    try {
        if (auto Item = Folder ? Folder->Find(EntryID) : nullptr; Item && Act(*Item)) return true;
    } catch (const plat::EOutlookItemGone&) {
    }
    const int Number = Email ? plat::olFolderInbox : plat::olFolderContacts;
    Folder = NameSpace ? NameSpace->GetDefaultFolder(Number)->Items() : nullptr;
    auto Item = Folder ? Folder->Find(EntryID) : nullptr;
    return Item && Act(*Item);
}

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

std::string BuildOutlookRows(TGroupList& Groups, bool Email, uint8_t SortColumn, uint8_t Direction, TRowList& Rows,
                             int64_t Unread)
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
                R->Stamp = M.Stamp;
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
                R->Stamp = M.Stamp;
                Rows.push_back(std::move(R));
                ++Members;
            }
        }
    }
    return Number(GroupNo) + " duplicate groups found where " + Number(Members) + " " +
           (Email ? "Emails" : "Contacts") + " are contained within." +
           (Unread > 0 ? " " + Number(Unread) + " items unreadable." : "");
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
        T.Caption = ShownText(T.Caption);
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
    T.Caption = ShownText(T.Caption);
    for (size_t I = 0; I < 3; ++I) T.SubItems[I] = ShownText(T.SubItems[I]);
    return true;
}

void OutlookColumnClick(int Column, uint8_t& Field, uint8_t& Direction)
{
    Direction = Direction == 0 ? 1 : 0;
    if (Column < 0 || Column > 3 || Field == uint8_t(Column)) return;
    Direction = 0;
    Field = uint8_t(Column);
}

void DisplayOutlookItem(const std::string& EntryID, bool Email, const plat::TOutlookNameSpace* NameSpace,
                        std::shared_ptr<plat::TOutlookItems>& Folder)
{
    if (!OnItem(EntryID, Email, NameSpace, Folder, [](plat::TOutlookItem& Item) {
            Item.display();
            return true;
        }))
        throw plat::EOutlookItemGone("The item can no longer be found: " + EntryID);
}

int32_t DeleteOutlookSelected(const TRowList& Rows, bool Email, const plat::TOutlookNameSpace* NameSpace,
                              std::shared_ptr<plat::TOutlookItems>& Folder, TDeleteSummary& S, std::string& Error,
                              const std::function<void()>& ProcessMessages)
{
    S = TDeleteSummary{};
    Error.clear();
    const char* Kind = Email ? "mails" : "contacts";
    // What a member row names: its EntryID and its file as the scan read it.
    auto Member = [](const TResultRow& R) -> std::pair<const std::string*, const plat::TItemStamp*> {
        if (const auto* M = dynamic_cast<const TSearchMailResult*>(&R)) return {&M->EntryID, &M->Stamp};
        if (const auto* C = dynamic_cast<const TSearchContactResult*>(&R)) return {&C->EntryID, &C->Stamp};
        return {nullptr, nullptr};
    };
    // A contacts file this run rewrote (losing one card) is the file the scan
    // read, as far as its other cards go.
    std::vector<std::pair<plat::TItemStamp, plat::TItemStamp>> Rewrites;
    auto Resolve = [&](plat::TItemStamp Stamp) {
        for (size_t Hops = 0; Hops < Rewrites.size(); ++Hops) {
            const auto R = std::find_if(Rewrites.begin(), Rewrites.end(), [&](const auto& P) { return P.first == Stamp; });
            if (R == Rewrites.end()) break;
            Stamp = R->second;
        }
        return Stamp;
    };
    // Items are found by EntryID, never by index, so the collection serves
    // on after a removal; one that is not where it was is looked for in a
    // fresh one, and nothing else is ever taken in its place.
    auto There = [&](const TResultRow& R) {
        const auto [Id, Stamp] = Member(R);
        const plat::TItemStamp Seen = Resolve(*Stamp);
        return OnItem(*Id, Email, NameSpace, Folder, [&](plat::TOutlookItem& Item) { return Item.Unchanged(Seen); });
    };
    // A copy the user keeps must still be there as the scan read it.
    size_t GroupStart = 0;
    auto KeptCopyThere = [&] {
        bool AnyUnticked = false;
        for (size_t J = GroupStart + 1; J < Rows.size() && Rows[J]->RowKind == 1; ++J) {
            if (Rows[J]->Checked || !Member(*Rows[J]).first) continue;
            AnyUnticked = true;
            if (There(*Rows[J])) return true;
        }
        return !AnyUnticked;
    };
    for (size_t I = 0; I < Rows.size(); ++I) {
        const TResultRow& Base = *Rows[I];
        if (ProcessMessages) ProcessMessages();
        if (Base.RowKind != 1) GroupStart = I;
        if (Base.RowKind != 1) continue;
        ++S.Found;
        if (!Base.Checked) continue;
        const auto* Mail = dynamic_cast<const TSearchMailResult*>(&Base);
        const auto* Contact = dynamic_cast<const TSearchContactResult*>(&Base);
        if (!Mail && !Contact) continue;
        ++S.Selected;
        TDeleteOutcome Item;
        Item.Caption = ShownText(Mail ? Mail->Subject
                                      : Contact->FirstName + " " + Contact->LastName + " (" + Contact->Email1Address + ")");
        const auto [EntryID, Stamp] = Member(Base);
        const plat::TItemStamp Seen = Resolve(*Stamp);
        try {
            plat::TItemStamp After;
            Item.Succeeded = KeptCopyThere() && OnItem(*EntryID, Email, NameSpace, Folder, [&](plat::TOutlookItem& It) {
                                 It.Delete(Seen, &After);
                                 return true;
                             });
            if (Item.Succeeded && After != plat::TItemStamp{}) Rewrites.emplace_back(Seen, After);
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
