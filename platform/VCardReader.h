#pragma once
// A reader of vCard 2.1, 3.0 and 4.0 text: the cards of a file and the few
// properties the contacts scan looks at. Folded lines, quoted-printable and
// charset parameters are undone; values come out in UTF-8.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// Where one card's text lies in its file: from its BEGIN:VCARD line to the
// end of its END:VCARD line with its line break.
struct TVCardSpan {
    size_t Offset = 0;
    size_t Length = 0;
};

// The top-level cards of a file in their order; a card nested in another
// (a 2.1 AGENT) belongs to its outer card, and a card without its END line
// is no card: a BEGIN:VCARD line other than an AGENT's value ends it.
std::vector<TVCardSpan> SplitVCards(std::string_view Text);

struct TVCard {
    std::string FullName;   // FN
    std::string FirstName;  // N, given name
    std::string LastName;   // N, family name
    std::string Nickname;   // NICKNAME
    std::vector<std::string> Emails;  // the first three EMAIL values in card order
    std::string WorkPhone;  // the first TEL whose type is work
    std::string Uid;        // UID
};

// The properties of one card's text (a span of SplitVCards).
TVCard ParseVCard(std::string_view Card);

} // namespace plat
