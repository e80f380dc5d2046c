#pragma once
// One e-mail message parsed with GMime: the decoded subject and sender, the
// text and HTML bodies in UTF-8, and the Date header. Texts are whole: a NUL
// byte in them is kept like any other. GMime's headers stay in
// MailMessage.cpp, which includes no Qt header (the two clash).
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace plat {

struct TMailFields {
    std::string Subject;     // RFC 2047 decoded, UTF-8
    std::string SenderName;  // the first From address's display name, else its address
    std::string Body;        // the first text/plain part that is no attachment, UTF-8
    std::string HTMLBody;    // the first text/html part that is no attachment, UTF-8
    bool HasDate = false;
    int64_t Date = 0;        // the Date header, seconds since 1970-01-01 UTC
    // Read with the bodies, when both are empty (attachments only, say): the
    // MD5 digest (32 lowercase hexadecimal digits) of the bytes after the
    // header block with every CRLF as LF; empty when there are no such bytes.
    std::string RawBodyDigest;
};

// Calls Put with the pieces of Text that remain when every CRLF is read as
// LF. Cr carries a CR that ended the previous piece of a stream into the
// next; after the last piece a CR still held is the caller's to hand on.
template <class F>
void EachLfPiece(std::string_view Text, bool& Cr, F Put)
{
    if (Text.empty()) return;
    if (Cr && Text[0] != '\n') Put(std::string_view("\r"));
    Cr = false;
    size_t Start = 0;
    for (size_t At = Text.find('\r'); At != std::string_view::npos; At = Text.find('\r', At + 1)) {
        if (At + 1 == Text.size()) {
            Put(Text.substr(Start, At - Start));
            Cr = true;
            return;
        }
        if (Text[At + 1] != '\n') continue;
        Put(Text.substr(Start, At - Start));
        Start = At + 1;
    }
    Put(Text.substr(Start));
}

// Parses a message held in memory. Without Bodies only the header block is
// looked at. False when the bytes hold no message at all, or a header block
// too long to be read whole (what it says could not all be taken in).
bool ParseMailMessage(std::string_view Bytes, bool Bodies, TMailFields& Out);

// Reads and parses a message file: a regular file only, never reached
// through a symbolic link nor waited on. Without Bodies only the header
// block is read. False, with the reason in Error, when the file cannot be
// read or holds no message. Seen, when given, gets what the file read was
// (its statx).
bool ReadMailFile(const std::string& Path, bool Bodies, TMailFields& Out, std::string& Error,
                  struct statx* Seen = nullptr);

} // namespace plat
