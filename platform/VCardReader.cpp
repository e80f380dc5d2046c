#include "platform/VCardReader.h"

#include <glib.h>

#include <algorithm>

namespace plat {

namespace {

bool SameAscii(std::string_view A, std::string_view B)
{
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
               return g_ascii_tolower(X) == g_ascii_tolower(Y);
           });
}

std::string_view TrimLineEnd(std::string_view Line)
{
    while (!Line.empty() && (Line.back() == '\r' || Line.back() == '\n')) Line.remove_suffix(1);
    return Line;
}

// The physical lines of a text, each without its line break.
std::vector<std::string_view> Lines(std::string_view Text)
{
    std::vector<std::string_view> Out;
    size_t Pos = 0;
    while (Pos < Text.size()) {
        size_t End = Text.find('\n', Pos);
        const size_t Next = End == std::string_view::npos ? Text.size() : End + 1;
        Out.push_back(TrimLineEnd(Text.substr(Pos, Next - Pos)));
        Pos = Next;
    }
    return Out;
}

bool IsBegin(std::string_view L) { return SameAscii(L, "BEGIN:VCARD"); }
bool IsEnd(std::string_view L) { return SameAscii(L, "END:VCARD"); }

// "AGENT:...", "AGENT;...", with or without a group.
bool IsAgent(std::string_view L)
{
    const size_t Stop = L.find_first_of(":;");
    std::string_view Name = L.substr(0, Stop);
    if (const size_t Dot = Name.rfind('.'); Dot != std::string_view::npos) Name.remove_prefix(Dot + 1);
    return Stop != std::string_view::npos && SameAscii(Name, "AGENT");
}

std::string_view Strip(std::string_view S)
{
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
    return S;
}

struct TProperty {
    std::string Name;                 // upper case, without its group
    std::vector<std::string> Params;  // as written: "TYPE=work", "WORK", "CHARSET=..."
    std::string Value;                // raw, still encoded
};

// Splits "group.NAME;param;param:value"; colons and semicolons inside
// quoted parameter values do not count.
bool SplitProperty(std::string_view Line, TProperty& P)
{
    size_t I = 0;
    bool Quoted = false;
    std::vector<std::string_view> Parts;
    size_t Start = 0;
    for (; I < Line.size(); ++I) {
        const char C = Line[I];
        if (C == '"') Quoted = !Quoted;
        else if (!Quoted && (C == ';' || C == ':')) {
            Parts.push_back(Line.substr(Start, I - Start));
            Start = I + 1;
            if (C == ':') break;
        }
    }
    if (I >= Line.size()) return false;  // no value
    std::string_view Name = Parts.front();
    if (const size_t Dot = Name.rfind('.'); Dot != std::string_view::npos) Name.remove_prefix(Dot + 1);
    P.Name.assign(Name);
    for (char& C : P.Name) C = g_ascii_toupper(C);
    P.Params.assign(Parts.begin() + 1, Parts.end());
    P.Value.assign(Line.substr(I + 1));
    return !P.Name.empty();
}

// The value of "KEY=value" among the parameters, without quotes; "" when absent.
std::string ParamValue(const TProperty& P, std::string_view Key)
{
    for (const std::string& Param : P.Params) {
        const size_t Eq = Param.find('=');
        if (Eq == std::string::npos || !SameAscii(Strip(std::string_view(Param).substr(0, Eq)), Key)) continue;
        std::string V(Strip(std::string_view(Param).substr(Eq + 1)));
        V.erase(std::remove(V.begin(), V.end(), '"'), V.end());
        return V;
    }
    return {};
}

bool QuotedPrintable(const TProperty& P)
{
    for (const std::string& Param : P.Params)
        if (SameAscii(Strip(Param), "QUOTED-PRINTABLE")) return true;
    return SameAscii(ParamValue(P, "ENCODING"), "QUOTED-PRINTABLE");
}

// True when the property's types (TYPE=a,b, TYPE="a,b" or bare 2.1 words)
// name Type.
bool HasType(const TProperty& P, std::string_view Type)
{
    for (const std::string& Param : P.Params) {
        std::string_view V = Strip(Param);
        if (const size_t Eq = V.find('='); Eq != std::string_view::npos) {
            if (!SameAscii(Strip(V.substr(0, Eq)), "TYPE")) continue;
            V = V.substr(Eq + 1);
        }
        size_t Pos = 0;
        while (Pos <= V.size()) {
            size_t Comma = V.find(',', Pos);
            if (Comma == std::string_view::npos) Comma = V.size();
            std::string_view Word = Strip(V.substr(Pos, Comma - Pos));
            while (!Word.empty() && Word.front() == '"') Word.remove_prefix(1);
            while (!Word.empty() && Word.back() == '"') Word.remove_suffix(1);
            if (SameAscii(Word, Type)) return true;
            Pos = Comma + 1;
        }
    }
    return false;
}

int HexDigit(char C)
{
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    return -1;
}

std::string DecodeQuotedPrintable(std::string_view V)
{
    std::string Out;
    Out.reserve(V.size());
    for (size_t I = 0; I < V.size(); ++I) {
        if (V[I] != '=') {
            Out += V[I];
            continue;
        }
        if (I + 2 < V.size() && HexDigit(V[I + 1]) >= 0 && HexDigit(V[I + 2]) >= 0) {
            Out += char(HexDigit(V[I + 1]) * 16 + HexDigit(V[I + 2]));
            I += 2;
        } else if (I + 1 == V.size()) {
            // a soft line break left at the very end
        } else {
            Out += '=';
        }
    }
    return Out;
}

// Bytes in the named charset (none: UTF-8 when valid, else ISO-8859-1) as UTF-8.
std::string ToUtf8(const std::string& Bytes, const std::string& Charset)
{
    if (Charset.empty() || SameAscii(Charset, "UTF-8")) {
        if (g_utf8_validate(Bytes.data(), gssize(Bytes.size()), nullptr)) return Bytes;
    }
    const char* From = Charset.empty() || SameAscii(Charset, "UTF-8") ? "ISO-8859-1" : Charset.c_str();
    gsize Written = 0;
    gchar* Converted = g_convert(Bytes.data(), gssize(Bytes.size()), "UTF-8", From, nullptr, &Written, nullptr);
    if (!Converted && From != std::string_view("ISO-8859-1"))
        Converted = g_convert(Bytes.data(), gssize(Bytes.size()), "UTF-8", "ISO-8859-1", nullptr, &Written, nullptr);
    std::string Out = Converted ? std::string(Converted, Written) : std::string();
    g_free(Converted);
    return Out;
}

// The parts of a structured value (N) split at unescaped ";".
std::vector<std::string> SplitComponents(std::string_view V)
{
    std::vector<std::string> Out(1);
    for (size_t I = 0; I < V.size(); ++I) {
        if (V[I] == '\\' && I + 1 < V.size()) {
            Out.back() += V[I];
            Out.back() += V[++I];
        } else if (V[I] == ';') {
            Out.emplace_back();
        } else {
            Out.back() += V[I];
        }
    }
    return Out;
}

// Undoes the backslash escapes of 3.0 and 4.0 (and "\;" of 2.1).
std::string Unescape(std::string_view V, bool Newlines)
{
    std::string Out;
    Out.reserve(V.size());
    for (size_t I = 0; I < V.size(); ++I) {
        if (V[I] != '\\' || I + 1 >= V.size()) {
            Out += V[I];
            continue;
        }
        const char N = V[I + 1];
        if (N == '\\' || N == ';' || N == ',') Out += N;
        else if (Newlines && (N == 'n' || N == 'N')) Out += '\n';
        else {
            Out += V[I];
            continue;
        }
        ++I;
    }
    return Out;
}

} // namespace

std::vector<TVCardSpan> SplitVCards(std::string_view Text)
{
    std::vector<TVCardSpan> Out;
    size_t Pos = 0, CardStart = 0;
    int Depth = 0;
    bool AfterAgent = false;  // the line before was an AGENT property
    while (Pos < Text.size()) {
        const size_t End = Text.find('\n', Pos);
        const size_t Next = End == std::string_view::npos ? Text.size() : End + 1;
        const std::string_view Line = Strip(TrimLineEnd(Text.substr(Pos, Next - Pos)));
        if (IsBegin(Line)) {
            // Within a card only an AGENT's value (2.1) begins a nested card;
            // any other BEGIN means the card before it was cut short: that
            // one is dropped and a new card begins here.
            if (!AfterAgent) Depth = 0;
            if (Depth == 0) CardStart = Pos;
            ++Depth;
        } else if (IsEnd(Line) && Depth > 0) {
            if (--Depth == 0) Out.push_back({CardStart, Next - CardStart});
        }
        if (!Line.empty()) AfterAgent = IsAgent(Line);
        Pos = Next;
    }
    return Out;
}

TVCard ParseVCard(std::string_view Card)
{
    const std::vector<std::string_view> Physical = Lines(Card);
    // The version decides how folds and escapes read.
    bool V21 = false;
    for (std::string_view L : Physical)
        if (SameAscii(Strip(L), "VERSION:2.1")) V21 = true;

    // Logical lines: a line starting with a blank or tab continues the one
    // before (3.0 and 4.0 drop that one blank, 2.1 keeps it); a quoted-
    // printable value ending in "=" continues on the next line.
    std::vector<std::string> Logical;
    bool SoftBreak = false;
    int Qp = -1;  // whether the current logical line is quoted-printable; -1 not known yet
    for (std::string_view L : Physical) {
        if (!Logical.empty() && !L.empty() && (L.front() == ' ' || L.front() == '\t')) {
            Logical.back().append(V21 ? L : L.substr(1));
        } else if (SoftBreak && !Logical.empty()) {
            Logical.back().pop_back();  // the "="
            Logical.back().append(L);
        } else {
            Logical.emplace_back(L);
            Qp = -1;
        }
        const std::string& Last = Logical.back();
        if (Qp < 0 && Last.size() <= 4096) {
            // Decided once the parameters are complete, so that a long value
            // is not split again at every line; names and parameters longer
            // than 4 KiB are no quoted-printable.
            TProperty P;
            if (SplitProperty(Last, P)) Qp = QuotedPrintable(P) ? 1 : 0;
        }
        SoftBreak = Qp == 1 && !Last.empty() && Last.back() == '=';
    }

    TVCard C;
    int Depth = 0;
    bool HaveFn = false, HaveN = false, HaveNick = false, HaveTel = false, HaveUid = false;
    for (const std::string& L : Logical) {
        const std::string_view S = Strip(L);
        if (IsBegin(S)) {
            ++Depth;
            continue;
        }
        if (IsEnd(S)) {
            --Depth;
            continue;
        }
        if (Depth != 1) continue;  // a nested card's lines are not this card's
        TProperty P;
        if (!SplitProperty(L, P)) continue;
        const bool Wanted = P.Name == "FN" || P.Name == "N" || P.Name == "NICKNAME" || P.Name == "EMAIL" ||
                            P.Name == "TEL" || P.Name == "UID";
        if (!Wanted) continue;
        std::string Raw = QuotedPrintable(P) ? DecodeQuotedPrintable(P.Value) : P.Value;
        const std::string Value = ToUtf8(Raw, ParamValue(P, "CHARSET"));
        if (P.Name == "FN" && !HaveFn) {
            C.FullName = Unescape(Value, !V21);
            HaveFn = true;
        } else if (P.Name == "N" && !HaveN) {
            const std::vector<std::string> Parts = SplitComponents(Value);
            C.LastName = Unescape(Parts[0], !V21);
            if (Parts.size() > 1) C.FirstName = Unescape(Parts[1], !V21);
            HaveN = true;
        } else if (P.Name == "NICKNAME" && !HaveNick) {
            C.Nickname = Unescape(Value, !V21);
            HaveNick = true;
        } else if (P.Name == "EMAIL" && C.Emails.size() < 3) {
            C.Emails.push_back(Unescape(Value, !V21));
        } else if (P.Name == "TEL" && !HaveTel && HasType(P, "work")) {
            std::string Tel = Unescape(Value, !V21);
            if (Tel.size() >= 4 && SameAscii(std::string_view(Tel).substr(0, 4), "tel:")) Tel.erase(0, 4);
            C.WorkPhone = Tel;
            HaveTel = true;
        } else if (P.Name == "UID" && !HaveUid) {
            C.Uid = Unescape(Value, !V21);
            HaveUid = true;
        }
    }
    return C;
}

} // namespace plat
