#include "finder/core/ResultOrdering.h"

#include <algorithm>
#include <numeric>

namespace finder {

namespace {

template <class K>
std::vector<uint32_t> Order(const std::vector<K>& Keys, uint8_t Direction)
{
    const size_t N = Keys.size();
    std::vector<uint32_t> Result(N);
    std::iota(Result.begin(), Result.end(), 0u);
    if (N < 2) return Result;
    auto Before = [&](uint32_t A, uint32_t B) { return Direction == 0 ? Keys[A] < Keys[B] : Keys[B] < Keys[A]; };
    // Already in order: the exchange sort makes no exchange at all.
    bool Sorted = true;
    for (size_t I = 1; I < N && Sorted; ++I) Sorted = !Before(uint32_t(I), uint32_t(I - 1));
    if (Sorted) return Result;
    // Without equal keys every correct sort gives the one order.
    std::vector<uint32_t> ByKey = Result;
    std::sort(ByKey.begin(), ByKey.end(), Before);
    bool Ties = false;
    for (size_t I = 1; I < N && !Ties; ++I) Ties = !(Keys[ByKey[I - 1]] < Keys[ByKey[I]]) && !(Keys[ByKey[I]] < Keys[ByKey[I - 1]]);
    if (!Ties) return ByKey;
    ExchangeSortOrder(Result, Keys, Direction);
    return Result;
}

template <class G>
std::string GroupKeyText(const G& Group)
{
    if constexpr (requires { Group.Name(); }) return Group.Name().str();
    else return Group.Name;
}

template <class G>
void SortGroupsBy(TGroupList& Groups, TGroupKind Kind, uint8_t Direction)
{
    std::vector<std::string> Keys;
    Keys.reserve(Groups.size());
    for (const auto& Group : Groups)
        Keys.push_back(Group->Kind() == Kind ? TrimKey(GroupKeyText(static_cast<const G&>(*Group))) : std::string());
    Permute(Groups, Order(Keys, Direction));
}

template <class G, class KeyOf>
void SortMembersBy(TGroupList& Groups, TGroupKind Kind, uint8_t Direction, KeyOf KeyFn)
{
    for (auto& Group : Groups) {
        if (Group->Kind() != Kind) continue;
        G& Record = static_cast<G&>(*Group);
        auto& Files = Record.Files;
        if (Files.size() < 2) continue;  // nothing to order: most groups of a content scan
        using K = decltype(KeyFn(Files[0]));
        std::vector<K> Keys;
        Keys.reserve(Files.size());
        for (const auto& F : Files) Keys.push_back(KeyFn(F));
        const std::vector<uint32_t> New = Order(Keys, Direction);
        Permute(Files, New);
        // The opening file keeps describing the group wherever it went.
        if constexpr (requires { Record.Opener; })
            for (uint32_t I = 0; I < New.size(); ++I)
                if (New[I] == Record.Opener) {
                    Record.Opener = I;
                    break;
                }
    }
}

template <class G>
void SortFileGroups(TGroupList& Groups, TGroupKind Kind, uint8_t Key, uint8_t Direction, bool SimilarityLast)
{
    using M = typename decltype(G::Files)::value_type;
    switch (Key) {
    case 0: SortGroupsBy<G>(Groups, Kind, Direction); break;
    case 1: SortMembersBy<G>(Groups, Kind, Direction, [](const M& F) { return TrimKey(F.Folder.str()); }); break;
    case 2: SortMembersBy<G>(Groups, Kind, Direction, [](const M& F) { return int64_t(F.Size); }); break;
    case 3: SortMembersBy<G>(Groups, Kind, Direction, [](const M& F) { return double(F.Modified); }); break;
    case 4:
        if constexpr (requires(const M& F) { F.Similarity; }) {
            if (SimilarityLast) {
                SortMembersBy<G>(Groups, Kind, Direction, [](const M& F) { return double(F.Similarity); });
                break;
            }
        } else {
            SortMembersBy<G>(Groups, Kind, Direction, [](const M& F) { return double(F.Created); });
        }
        break;
    default: break;
    }
}

} // namespace

std::string TrimKey(const std::string& Text)
{
    size_t B = 0, E = Text.size();
    while (B < E && static_cast<unsigned char>(Text[B]) <= 32) ++B;
    while (E > B && static_cast<unsigned char>(Text[E - 1]) <= 32) --E;
    return Text.substr(B, E - B);
}

std::vector<uint32_t> SortOrder(const std::vector<std::string>& Keys, uint8_t Direction) { return Order(Keys, Direction); }
std::vector<uint32_t> SortOrder(const std::vector<double>& Keys, uint8_t Direction) { return Order(Keys, Direction); }
std::vector<uint32_t> SortOrder(const std::vector<int64_t>& Keys, uint8_t Direction) { return Order(Keys, Direction); }

void SortNameGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction)
{
    SortFileGroups<TSearchStat>(Groups, TGroupKind::SameName, Key, Direction, false);
}

void SortByteGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction)
{
    SortFileGroups<TSearchStatBye>(Groups, TGroupKind::SameContent, Key, Direction, false);
}

void SortSimilarGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction)
{
    SortFileGroups<TSearchSimilar>(Groups, TGroupKind::SimilarPicture, Key, Direction, true);
}

} // namespace finder
