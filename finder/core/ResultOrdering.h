#pragma once
// The sort routines that order the results: either the groups (key 0) or
// the members inside each group (keys 1 to 4). Direction 0 ascending, 1
// descending. Ties come out exactly as the plain exchange sort below leaves
// them; lists without ties, or already in order, take a faster road to the
// same result.
#include <cstdint>
#include <string>
#include <vector>

#include "finder/core/DataRecordUnit.h"

namespace finder {

void SortNameGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);
void SortByteGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);
void SortSimilarGroups(TGroupList& Groups, uint8_t Key, uint8_t Direction);

// Text keys lose leading and trailing bytes of code 32 or below.
std::string TrimKey(const std::string& Text);

// The exchange sort itself over a permutation of 0..n-1, by keys; exposed
// for tests that compare the fast roads with it.
template <class K>
void ExchangeSortOrder(std::vector<uint32_t>& Order, const std::vector<K>& Keys, uint8_t Direction)
{
    const size_t N = Order.size();
    for (size_t I = 0; I < N; ++I) {
        uint32_t X = Order[I];
        for (size_t J = I; J < N; ++J) {
            const uint32_t Y = Order[J];
            if (Direction == 0 ? Keys[X] > Keys[Y] : Keys[X] < Keys[Y]) {
                Order[I] = Y;
                Order[J] = X;
                X = Y;
            }
        }
    }
}

// Puts V (a vector, a group's members) into Order (a permutation of its
// indexes).
template <class C>
void Permute(C& V, const std::vector<uint32_t>& Order)
{
    std::vector<typename C::value_type> Out;
    Out.reserve(V.size());
    for (uint32_t I : Order) Out.push_back(std::move(V[I]));
    for (size_t I = 0; I < Out.size(); ++I) V[I] = std::move(Out[I]);
}

// The order (a permutation of 0..n-1) in which the exchange sort leaves
// elements with these keys.
std::vector<uint32_t> SortOrder(const std::vector<std::string>& Keys, uint8_t Direction);
std::vector<uint32_t> SortOrder(const std::vector<double>& Keys, uint8_t Direction);
std::vector<uint32_t> SortOrder(const std::vector<int64_t>& Keys, uint8_t Direction);

} // namespace finder
