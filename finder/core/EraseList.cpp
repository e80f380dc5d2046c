#include "finder/core/EraseList.h"

#include <algorithm>
#include <numeric>
#include <set>
#include <utility>

namespace finder {

namespace {

unsigned char UpperAscii(char C) {
    const auto U = static_cast<unsigned char>(C);
    return U >= 'a' && U <= 'z' ? static_cast<unsigned char>(U - 'a' + 'A') : U;
}

} // namespace

int CompareText(const std::string& A, const std::string& B) {
    const size_t N = std::min(A.size(), B.size());
    for (size_t I = 0; I < N; ++I) {
        const int D = int(UpperAscii(A[I])) - int(UpperAscii(B[I]));
        if (D != 0) return D;
    }
    return A.size() < B.size() ? -1 : (A.size() > B.size() ? 1 : 0);
}

int CompareEraseItems(const TEraseItem& A, const TEraseItem& B, int Column) {
    return Column == 0 ? CompareText(A.Caption, B.Caption) : CompareText(A.Type, B.Type);
}

std::vector<size_t> SortEraseItems(const std::vector<TEraseItem>& Items, int Column) {
    std::vector<size_t> Order(Items.size());
    std::iota(Order.begin(), Order.end(), size_t(0));
    std::stable_sort(Order.begin(), Order.end(),
                     [&](size_t X, size_t Y) { return CompareEraseItems(Items[X], Items[Y], Column) < 0; });
    return Order;
}

std::vector<TEraseItem> ItemsToAdd(const std::vector<TEraseItem>& Listed, const std::vector<TEraseItem>& Chosen) {
    std::set<std::pair<std::string, std::string>> Known;
    for (const TEraseItem& It : Listed) Known.emplace(It.Type, It.Caption);
    std::vector<TEraseItem> Added;
    for (const TEraseItem& It : Chosen)
        if (Known.emplace(It.Type, It.Caption).second) Added.push_back(It);
    return Added;
}

} // namespace finder
