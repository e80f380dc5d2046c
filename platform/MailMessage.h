#pragma once
// One e-mail message parsed with GMime: the decoded subject and sender, the
// text and HTML bodies in UTF-8, and the Date header. GMime's headers stay
// in MailMessage.cpp, which includes no Qt header (the two clash).
#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

struct TMailFields {
    std::string Subject;     // RFC 2047 decoded, UTF-8
    std::string SenderName;  // the first From address's display name, else its address
    std::string Body;        // the first text/plain part that is no attachment, UTF-8
    std::string HTMLBody;    // the first text/html part that is no attachment, UTF-8
    bool HasDate = false;
    int64_t Date = 0;        // the Date header, seconds since 1970-01-01 UTC
};

// Parses a message held in memory. Without Bodies only the header block is
// looked at. False when the bytes hold no message at all.
bool ParseMailMessage(std::string_view Bytes, bool Bodies, TMailFields& Out);

// Reads and parses a message file (never through a symbolic link). Without
// Bodies only the header block is read. False, with the reason in Error,
// when the file cannot be read or holds no message.
bool ReadMailFile(const std::string& Path, bool Bodies, TMailFields& Out, std::string& Error);

} // namespace plat
