#include "finder/core/OutlookScan.h"

#include <algorithm>
#include <cmath>

#include "finder/core/MD5Unit.h"
#include "finder/core/ResultOrdering.h"
#include "finder/core/ResultRows.h"

namespace finder {

namespace {

// The digest of a body's text with every CRLF as LF: the same message saved
// with either line end is the same content.
std::string LfDigest(std::string_view Text)
{
    TMD5Context C;
    MD5Init(C);
    bool Cr = false;
    plat::EachLfPiece(Text, Cr, [&](std::string_view P) { MD5Update(C, P.data(), P.size()); });
    if (Cr) MD5Update(C, "\r", 1);
    TMD5Digest D;
    MD5Final(D, C);
    return MD5Print(D);
}

} // namespace

TMailValues ReadMailValues(plat::TMailItem& Item, bool Digests)
{
    TMailValues V;
    // One set of fields per thread: the bodies' buffers serve every message.
    thread_local plat::TMailFields F;
    Item.ReadFields(Digests, F);
    V.RawSubject = F.Subject;
    V.Subject = TrimKey(F.Subject);
    V.SenderName = TrimKey(F.SenderName);
    V.Received = Item.ReceivedTime(F);
    V.ReceivedTime = DateTimeText(V.Received);
    V.Size = Item.Size();
    V.EntryID = Item.EntryID();
    V.Stamp = Item.Stamp();
    if (Digests && (!F.Body.empty() || !F.HTMLBody.empty())) {
        V.BodyDigest = LfDigest(F.Body);
        V.HTMLBodyDigest = LfDigest(F.HTMLBody);
    } else if (Digests) {
        // Attachments only, say: the raw body stands for the content, under
        // a key no pair of text digests has; without one the key is empty.
        V.BodyDigest = F.RawBodyDigest;
    }
    return V;
}

std::string ShownText(std::string_view Text)
{
    size_t Chars = 0, End = Text.size();
    for (size_t I = 0; I < Text.size() && End == Text.size(); ++I)
        if ((static_cast<unsigned char>(Text[I]) & 0xC0) != 0x80 && ++Chars > ShownChars) End = I;
    std::string Out(Text.substr(0, End));
    // A NUL byte is shown as U+FFFD: where the text goes on as a C string it
    // would end it.
    for (size_t At = Out.find('\0'); At != std::string::npos; At = Out.find('\0', At + 3))
        Out.replace(At, 1, "\uFFFD");
    return End < Text.size() ? Out + "\u2026" : Out;
}

TContactValues ReadContactValues(plat::TContactItem& Item)
{
    TContactValues V;
    V.FullName = Item.FullName();
    V.FirstName = TrimKey(Item.FirstName());
    V.LastName = TrimKey(Item.LastName());
    V.Nickname = TrimKey(Item.Nickname());
    V.Phone = Item.BusinessTelephoneNumber();
    V.Email1Address = TrimKey(Item.Email1Address());
    V.Email2Address = TrimKey(Item.Email2Address());
    V.Email3Address = TrimKey(Item.Email3Address());
    V.EntryID = Item.EntryID();
    V.Stamp = Item.Stamp();
    return V;
}

TOutlookScan::TOutlookScan(const TOutlookOptions& Options, uint8_t& RunState, TGroupList& Groups,
                           TScanCallbacks Callbacks)
    : FOptions(Options), FGroups(Groups), FCallbacks(std::move(Callbacks)),
      FControl(RunState,
               [this] {
                   // The scanning page shows the latest item only when the window gets a turn.
                   if (FCallbacks.ScanMessage && !FCaption.empty()) FCallbacks.ScanMessage(FCaption);
                   if (FCallbacks.ProcessMessages) FCallbacks.ProcessMessages();
               },
               std::chrono::milliseconds(Options.PumpIntervalMs))
{
}

TScanOutcome TOutlookScan::Run()
{
    TScanOutcome Outcome;
    try {
        OutlookApp = plat::CreateOleObject("Outlook.Application");
        NameSpace = OutlookApp->GetNameSpace("MAPI");
        const int Folder = FOptions.Kind == 1 ? plat::olFolderInbox : plat::olFolderContacts;
        OutlookFolder = NameSpace->GetDefaultFolder(Folder)->Items();
        if (OutlookFolder->Count() > 0) OutlookScanFolder(*OutlookFolder, FOptions.Kind);
    } catch (const plat::EOutlookError& E) {
        Outcome.Failed = true;
        Outcome.Error = E.what();
    }
    if (FCallbacks.ScanMessage) FCallbacks.ScanMessage("");
    if (FControl.RunState() == rsRunning) FControl.RunState() = rsFinished;
    return Outcome;
}

void TOutlookScan::OutlookScanFolder(plat::TOutlookItems& Items, int Kind)
{
    const int N = Items.Count();
    const bool Digests = Kind == 1 && Criterion(TScanKind::FileBye);
    for (int I = 1; I <= N; ++I) {
        if (FControl.StopRequested()) return;
        bool Unmatched = true;
        const std::shared_ptr<plat::TOutlookItem> Item = Items.Item(I);
        // An item that cannot be read or parsed is passed over; the walk goes on.
        if (Kind == 1) {
            auto* Mail = dynamic_cast<plat::TMailItem*>(Item.get());
            if (!Mail) continue;
            TMailValues V;
            try {
                V = ReadMailValues(*Mail, Digests);
            } catch (const plat::EOutlookError&) {
                ++FItemsSkipped;
                continue;
            }
            ++FItemsRead;
            FCaption = ShownText(V.RawSubject);
            MatchOutlookItem(Unmatched, V);
            if (Unmatched) NewOutlookGroup(V);
        } else {
            auto* Contact = dynamic_cast<plat::TContactItem*>(Item.get());
            if (!Contact) continue;
            const TContactValues V = ReadContactValues(*Contact);
            ++FItemsRead;
            FCaption = ShownText(V.FullName);
            MatchOutlookItem(Unmatched, V);
            if (Unmatched) NewOutlookGroup(V);
        }
    }
}

bool TOutlookScan::BeforeGroups()
{
    // With no group there is nothing to compare, and no turn for the window.
    if (FGroups.empty() || FControl.StopRequested()) return false;
    FControl.ProcessMessages();
    return !FControl.StopRequested();
}

TOutlookScan::TKey TOutlookScan::MailKey(const std::string& Subject, const std::string& Body,
                                         const std::string& Html) const
{
    return Criterion(TScanKind::FileName) ? TKey{Subject, {}} : TKey{Body, Html};
}

uint32_t TOutlookScan::Lookup(const TKey& Key) const
{
    if (Key.A.empty() && Key.B.empty()) return UINT32_MAX;
    const auto F = FIndex.find(Key);
    return F == FIndex.end() ? UINT32_MAX : F->second;
}

void TOutlookScan::MatchOutlookItem(bool& Unmatched, const TMailValues& Item)
{
    if (!BeforeGroups()) return;
    if (!Criterion(TScanKind::FileName) && !Criterion(TScanKind::FileBye)) return;
    const uint32_t Found = Lookup(MailKey(Item.Subject, Item.BodyDigest, Item.HTMLBodyDigest));
    if (Found == UINT32_MAX) return;
    Unmatched = false;
    auto& G = static_cast<TSearchStatMail&>(*FGroups[Found]);
    const TScanMailResult& First = G.Mails.front();
    // Extra conditions look at the group's first e-mail; one that fails drops the item.
    if (FOptions.SameDate && Item.Received != First.Received) return;
    if (FOptions.SameSize && Item.Size != First.Size) return;
    if (FOptions.SameSender && Item.SenderName != First.SenderName) return;
    G.Mails.push_back(
        {Item.Subject, Item.ReceivedTime, Item.SenderName, Item.EntryID, Item.Size, Item.Received, Item.Stamp});
    ++G.Count;
    Joined(G);
}

void TOutlookScan::MatchOutlookItem(bool& Unmatched, const TContactValues& Item)
{
    if (!BeforeGroups()) return;
    uint32_t Best = UINT32_MAX;
    if (Criterion(TScanKind::FileName)) {
        Best = Lookup({Item.FirstName, Item.LastName});
    } else if (Criterion(TScanKind::FileBye)) {
        // The first group one of whose addresses is one of the item's.
        for (const std::string* A : {&Item.Email1Address, &Item.Email2Address, &Item.Email3Address})
            if (!A->empty()) Best = std::min(Best, Lookup({*A, {}}));
    } else if (Criterion(TScanKind::Title)) {
        Best = Lookup({Item.Nickname, {}});
    }
    if (Best == UINT32_MAX) return;
    Unmatched = false;
    auto& G = static_cast<TSearchStatContact&>(*FGroups[Best]);
    G.Contacts.push_back({Item.FirstName, Item.LastName, Item.Nickname, TrimKey(Item.Phone), Item.Email1Address,
                          Item.Email2Address, Item.Email3Address, Item.EntryID, Item.Stamp});
    ++G.Count;
    Joined(G);
}

void TOutlookScan::NewOutlookGroup(const TMailValues& Item)
{
    auto G = std::make_unique<TSearchStatMail>();
    G->Subject = Item.Subject;
    G->BodyDigest = Item.BodyDigest;
    G->HTMLBodyDigest = Item.HTMLBodyDigest;
    G->Count = 1;
    G->Mails.push_back(
        {Item.Subject, Item.ReceivedTime, Item.SenderName, Item.EntryID, Item.Size, Item.Received, Item.Stamp});
    const TKey Key = MailKey(G->Subject, G->BodyDigest, G->HTMLBodyDigest);
    const uint32_t I = uint32_t(FGroups.size());
    FGroups.push_back(std::move(G));
    Index(Key, I);
}

void TOutlookScan::NewOutlookGroup(const TContactValues& Item)
{
    auto G = std::make_unique<TSearchStatContact>();
    G->FirstName = Item.FirstName;
    G->LastName = Item.LastName;
    G->Nickname = Item.Nickname;
    G->Email1Address = Item.Email1Address;
    G->Email2Address = Item.Email2Address;
    G->Email3Address = Item.Email3Address;
    G->Count = 1;
    G->Contacts.push_back({Item.FirstName, Item.LastName, Item.Nickname, Item.Phone, Item.Email1Address,
                           Item.Email2Address, Item.Email3Address, Item.EntryID, Item.Stamp});
    const TSearchStatContact& Group = *G;
    const uint32_t I = uint32_t(FGroups.size());
    FGroups.push_back(std::move(G));
    if (Criterion(TScanKind::FileName)) Index({Group.FirstName, Group.LastName}, I);
    else if (Criterion(TScanKind::Title)) Index({Group.Nickname, {}}, I);
    else if (Criterion(TScanKind::FileBye))
        for (const std::string* A : {&Group.Email1Address, &Group.Email2Address, &Group.Email3Address})
            if (!A->empty()) Index({*A, {}}, I);
}

void TOutlookScan::Index(const TKey& Key, uint32_t Group)
{
    // A key already taken keeps its first group: later ones are never the first match.
    if (!Key.A.empty() || !Key.B.empty()) FIndex.emplace(Key, Group);
}

void TOutlookScan::Joined(TGroupRecord& G)
{
    if (G.Count == 2) {
        ++FDupGroups;
        FDupFiles += 2;
    } else {
        ++FDupFiles;
    }
}

} // namespace finder
