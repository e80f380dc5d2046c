// corvane-bench make-maildir DIR COUNT: writes a Maildir of COUNT messages
// for the Outlook benchmark, the same for the same COUNT. Plain and
// multipart/alternative messages, quoted-printable and base64 parts,
// encoded subjects in several charsets, a sixth with a binary attachment;
// a tenth are copies of an earlier message under a new name, and subjects
// repeat (a reply keeps its thread's subject).
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TRandom {
    uint64_t S;
    uint64_t Next()
    {
        uint64_t Z = (S += 0x9E3779B97F4A7C15ull);
        Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
        Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
        return Z ^ (Z >> 31);
    }
    size_t Below(size_t N) { return size_t(Next() % N); }
};

const char* const Words[] = {"meeting", "report", "budget", "invoice", "project", "review", "team", "update",
                             "schedule", "draft", "release", "customer", "order", "travel", "holiday", "plan",
                             "question", "answer", "numbers", "quarter", "weekly", "notes", "server", "backup",
                             "lunch", "contract", "offer", "deadline", "summary", "agenda", "café", "Grüße"};

std::string Sentence(TRandom& R, size_t Words_)
{
    std::string S;
    for (size_t I = 0; I < Words_; ++I) {
        if (I) S += ' ';
        S += Words[R.Below(sizeof Words / sizeof *Words)];
    }
    return S;
}

std::string Base64(const std::string& In, bool Lines)
{
    static const char T[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string Out;
    size_t Col = 0;
    for (size_t I = 0; I < In.size(); I += 3) {
        const uint32_t B0 = uint8_t(In[I]), B1 = I + 1 < In.size() ? uint8_t(In[I + 1]) : 0,
                       B2 = I + 2 < In.size() ? uint8_t(In[I + 2]) : 0;
        const uint32_t V = (B0 << 16) | (B1 << 8) | B2;
        Out += T[(V >> 18) & 63];
        Out += T[(V >> 12) & 63];
        Out += I + 1 < In.size() ? T[(V >> 6) & 63] : '=';
        Out += I + 2 < In.size() ? T[V & 63] : '=';
        if (Lines && (Col += 4) >= 76) {
            Out += "\r\n";
            Col = 0;
        }
    }
    if (Lines && Col) Out += "\r\n";
    return Out;
}

std::string QuotedPrintable(const std::string& In)
{
    static const char H[] = "0123456789ABCDEF";
    std::string Out;
    size_t Col = 0;
    for (unsigned char C : In) {
        std::string Piece;
        if (C == '\n') {
            Out += "\r\n";
            Col = 0;
            continue;
        }
        if ((C >= 33 && C <= 126 && C != '=') || C == ' ') Piece = char(C);
        else Piece = std::string("=") + H[C >> 4] + H[C & 15];
        if (Col + Piece.size() > 75) {
            Out += "=\r\n";
            Col = 0;
        }
        Out += Piece;
        Col += Piece.size();
    }
    return Out;
}

std::string Paragraphs(TRandom& R)
{
    std::string T;
    const size_t N = 2 + R.Below(12);
    for (size_t I = 0; I < N; ++I) T += Sentence(R, 8 + R.Below(30)) + ".\n\n";
    return T;
}

std::string EncodedSubject(TRandom& R, const std::string& Subject)
{
    switch (R.Below(8)) {
    case 0: return "=?UTF-8?B?" + Base64(Subject, false) + "?=";
    case 1: {
        std::string Q;
        for (unsigned char C : Subject) {
            static const char H[] = "0123456789ABCDEF";
            if (C == ' ') Q += '_';
            else if (C < 128 && C != '=' && C != '?' && C != '_') Q += char(C);
            else Q += std::string("=") + H[C >> 4] + H[C & 15];
        }
        return "=?utf-8?Q?" + Q + "?=";
    }
    default: return Subject;
    }
}

std::string Message(TRandom& R, uint64_t Seq, const std::string& Subject)
{
    char Date[64];
    const long Day = long(Seq % 28) + 1;
    std::snprintf(Date, sizeof Date, "Date: Mon, %ld Jan 2024 %02d:%02d:00 +0100\r\n", Day, int(Seq % 24),
                  int(Seq % 60));
    std::string M = "Return-Path: <sender" + std::to_string(Seq % 500) + "@example.org>\r\n";
    M += "Received: from mx.example.org by mail.example.net with ESMTP id " + std::to_string(Seq) + "\r\n";
    M += "From: Sender " + std::to_string(Seq % 500) + " <sender" + std::to_string(Seq % 500) + "@example.org>\r\n";
    M += "To: me@example.net\r\n";
    M += "Subject: " + EncodedSubject(R, Subject) + "\r\n";
    M += Date;
    M += "Message-ID: <" + std::to_string(Seq) + "@example.org>\r\nMIME-Version: 1.0\r\n";
    const std::string Text = Paragraphs(R);
    const size_t Kind = R.Below(6);
    if (Kind < 2) {
        M += "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n";
        M += QuotedPrintable(Text);
        return M;
    }
    const std::string Alt = "alt-" + std::to_string(Seq);
    std::string Body = "--" + Alt + "\r\nContent-Type: text/plain; charset=utf-8\r\n"
                       "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + QuotedPrintable(Text) + "\r\n";
    std::string Html = "<html><body>";
    for (char C : Text) Html += C == '\n' ? std::string("<br>") : std::string(1, C);
    Html += "</body></html>";
    Body += "--" + Alt + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
            Base64(Html, true) + "--" + Alt + "--\r\n";
    if (Kind < 5) {
        M += "Content-Type: multipart/alternative; boundary=\"" + Alt + "\"\r\n\r\n" + Body;
        return M;
    }
    // A binary attachment of 4 to 64 KiB.
    std::string Blob(4096 + R.Below(61440), '\0');
    for (char& C : Blob) C = char(R.Next());
    const std::string Mix = "mix-" + std::to_string(Seq);
    M += "Content-Type: multipart/mixed; boundary=\"" + Mix + "\"\r\n\r\n";
    M += "--" + Mix + "\r\nContent-Type: multipart/alternative; boundary=\"" + Alt + "\"\r\n\r\n" + Body;
    M += "--" + Mix + "\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
         "Content-Disposition: attachment; filename=\"data.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
         Base64(Blob, true) + "--" + Mix + "--\r\n";
    return M;
}

bool WriteFile(const std::string& Path, const std::string& Text)
{
    FILE* F = std::fopen(Path.c_str(), "wb");
    if (!F) return false;
    const bool Ok = std::fwrite(Text.data(), 1, Text.size(), F) == Text.size();
    return std::fclose(F) == 0 && Ok;
}

} // namespace

int RunMakeMaildir(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvane-bench make-maildir DIR COUNT\n");
        return 2;
    }
    const std::string Dir = argv[1];
    const long Count = std::strtol(argv[2], nullptr, 10);
    for (const std::string& D : {Dir, Dir + "/cur", Dir + "/new", Dir + "/tmp"}) ::mkdir(D.c_str(), 0755);
    TRandom R{uint64_t(Count) * 7919u};
    std::vector<std::string> Subjects, Copies;
    for (long I = 0; I < Count; ++I) {
        std::string Text;
        const size_t Pick = R.Below(100);
        if (Pick < 10 && !Copies.empty()) {
            Text = Copies[R.Below(Copies.size())];  // the same message a second time
        } else {
            std::string Subject;
            if (Pick < 40 && !Subjects.empty()) Subject = "Re: " + Subjects[R.Below(Subjects.size())];
            else Subject = Sentence(R, 2 + R.Below(5));
            if (Subjects.size() < 50000) Subjects.push_back(Subject);
            Text = Message(R, uint64_t(I), Subject);
            if (Copies.size() < 2000 && Text.size() < 20000) Copies.push_back(Text);
        }
        char Name[96];
        const bool New = R.Below(10) < 3;
        std::snprintf(Name, sizeof Name, "%s/%s/%ld.M%ldP4242.bench%s", Dir.c_str(), New ? "new" : "cur",
                      1700000000L + I, I, New ? "" : ":2,S");
        if (!WriteFile(Name, Text)) {
            std::fprintf(stderr, "corvane-bench: cannot write %s\n", Name);
            return 1;
        }
    }
    return 0;
}
