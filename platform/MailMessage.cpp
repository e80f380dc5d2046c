// GMime lives here alone: its headers (through GIO) clash with Qt's.
#include "platform/MailMessage.h"

#include <gmime/gmime.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace plat {

namespace {

// A message whose header block is longer than this is not read.
constexpr size_t MaxHeaderBytes = 1 << 20;
// Multiparts nested deeper than this are not searched for bodies.
constexpr int MaxDepth = 64;

void InitGMime()
{
    static std::once_flag Once;
    std::call_once(Once, [] { g_mime_init(); });
}

// Whether Text is UTF-8 throughout; a NUL byte is a character like any
// other (g_utf8_validate stops at one).
bool IsUtf8(std::string_view Text)
{
    while (!Text.empty()) {
        const gchar* End = nullptr;
        if (g_utf8_validate(Text.data(), gssize(Text.size()), &End)) return true;
        if (End == Text.data() + Text.size() || *End != '\0') return false;
        Text.remove_prefix(size_t(End - Text.data()) + 1);
    }
    return true;
}

// Text that is no UTF-8 (a wrong or unknown charset) is taken as
// ISO-8859-1; every byte counts, NUL bytes too. Assigned in place: a reader
// that reuses its fields keeps their buffers from one message to the next.
void SetUtf8(std::string& Out, std::string_view Text)
{
    if (IsUtf8(Text)) {
        Out.assign(Text);
        return;
    }
    gsize Written = 0;
    gchar* Converted = g_convert(Text.data(), gssize(Text.size()), "UTF-8", "ISO-8859-1", nullptr, &Written, nullptr);
    if (Converted) Out.assign(Converted, Written);
    else Out.clear();
    g_free(Converted);
}

void SetUtf8(std::string& Out, const char* Text)
{
    if (Text) SetUtf8(Out, std::string_view(Text));
    else Out.clear();
}

// A text part's decoded content in UTF-8, converted from its charset as
// GMime's own text getter does; that one hands back a C string, which would
// end the text at its first NUL byte.
void SetPartText(GMimePart* Part, std::string& Out)
{
    GMimeDataWrapper* Content = g_mime_part_get_content(Part);
    if (!Content) {
        Out.clear();
        return;
    }
    GMimeStream* Mem = g_mime_stream_mem_new();
    const char* Charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(Part), "charset");
    if (GMimeFilter* Filter = Charset ? g_mime_filter_charset_new(Charset, "utf-8") : nullptr) {
        GMimeStream* Filtered = g_mime_stream_filter_new(Mem);
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(Filtered), Filter);
        g_object_unref(Filter);
        g_mime_data_wrapper_write_to_stream(Content, Filtered);
        g_mime_stream_flush(Filtered);
        g_object_unref(Filtered);
    } else {
        g_mime_data_wrapper_write_to_stream(Content, Mem);
    }
    const GByteArray* Bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(Mem));
    SetUtf8(Out, std::string_view(reinterpret_cast<const char*>(Bytes->data), Bytes->len));
    g_object_unref(Mem);
}

bool IsAttachment(GMimeObject* Part)
{
    GMimeContentDisposition* D = g_mime_object_get_content_disposition(Part);
    return D && g_mime_content_disposition_is_attachment(D);
}

void FindBodies(GMimeObject* Object, TMailFields& Out, bool& Plain, bool& Html, int Depth)
{
    if (!Object || Depth > MaxDepth || (Plain && Html)) return;
    if (GMIME_IS_MULTIPART(Object)) {
        GMimeMultipart* M = GMIME_MULTIPART(Object);
        const int N = g_mime_multipart_get_count(M);
        for (int I = 0; I < N && !(Plain && Html); ++I)
            FindBodies(g_mime_multipart_get_part(M, I), Out, Plain, Html, Depth + 1);
        return;
    }
    // A forwarded message/rfc822 is an attachment of its own: not searched.
    if (!GMIME_IS_TEXT_PART(Object) || IsAttachment(Object)) return;
    GMimeContentType* Type = g_mime_object_get_content_type(Object);
    const bool IsPlain = g_mime_content_type_is_type(Type, "text", "plain");
    const bool IsHtml = g_mime_content_type_is_type(Type, "text", "html");
    if ((IsPlain && Plain) || (IsHtml && Html) || (!IsPlain && !IsHtml)) return;
    SetPartText(GMIME_PART(Object), IsPlain ? Out.Body : Out.HTMLBody);
    (IsPlain ? Plain : Html) = true;
}

void Clear(TMailFields& Out)
{
    for (std::string* F : {&Out.Subject, &Out.SenderName, &Out.Body, &Out.HTMLBody, &Out.RawBodyDigest}) F->clear();
    Out.HasDate = false;
    Out.Date = 0;
}

// The digest of the stream's bytes from After on, less the empty line that
// ends the header block there, CRLF read as LF; empty when none are left.
void RawBodyDigest(GMimeStream* Stream, gint64 After, std::string& Out)
{
    if (After < 0 || g_mime_stream_seek(Stream, After, GMIME_STREAM_SEEK_SET) != After) return;
    GChecksum* Sum = g_checksum_new(G_CHECKSUM_MD5);
    bool Cr = false, Any = false, First = true;
    char Buf[16384];
    ssize_t N;
    while ((N = g_mime_stream_read(Stream, Buf, sizeof Buf)) > 0) {
        std::string_view Chunk(Buf, size_t(N));
        if (First) {
            Chunk.remove_prefix(Chunk.starts_with("\r\n") ? 2 : Chunk.starts_with('\n') ? 1 : 0);
            First = false;
        }
        EachLfPiece(Chunk, Cr, [&](std::string_view P) {
            g_checksum_update(Sum, reinterpret_cast<const guchar*>(P.data()), gssize(P.size()));
            Any = Any || !P.empty();
        });
    }
    if (Cr) g_checksum_update(Sum, reinterpret_cast<const guchar*>("\r"), 1);
    if (Any || Cr) Out = g_checksum_get_string(Sum);
    g_checksum_free(Sum);
}

// Reads Size bytes at Offset of the stream; false when they are not all there.
bool ReadAt(GMimeStream* Stream, gint64 Offset, std::string& Out, size_t Size)
{
    Out.resize(Size);
    if (g_mime_stream_seek(Stream, Offset, GMIME_STREAM_SEEK_SET) != Offset) return false;
    for (size_t Got = 0; Got < Size;) {
        const ssize_t N = g_mime_stream_read(Stream, Out.data() + Got, Size - Got);
        if (N <= 0) return false;
        Got += size_t(N);
    }
    return true;
}

// GMime keeps a header's value as a C string, so a NUL byte in the value
// ends it there. Of every header Name that a NUL cut short, the rest is read
// from the stream and added to Out: each NUL kept, each piece after one
// unfolded and decoded as GMime decodes a value. Headers is where the
// header block ends (before its empty line), -1 when it has none.
void AddCutRest(GMimeStream* Stream, GMimeObject* Message, gint64 Headers, const char* Name, std::string& Out)
{
    GMimeHeaderList* List = g_mime_object_get_header_list(Message);
    const int N = g_mime_header_list_get_count(List);
    std::string Rest, Piece, Decoded;
    for (int I = 0; I < N; ++I) {
        GMimeHeader* H = g_mime_header_list_get_header_at(List, I);
        if (g_ascii_strcasecmp(g_mime_header_get_name(H), Name) != 0) continue;
        const gint64 Start = g_mime_header_get_offset(H);
        const char* RawName = g_mime_header_get_raw_name(H);
        const char* RawValue = g_mime_header_get_raw_value(H);
        if (Start < 0 || !RawName || !RawValue) continue;
        // A header runs up to the next one: a whole value leaves no byte over.
        const gint64 Cut = Start + gint64(std::strlen(RawName) + 1 + std::strlen(RawValue));
        const gint64 End = I + 1 < N ? g_mime_header_get_offset(g_mime_header_list_get_header_at(List, I + 1))
                           : Headers >= 0 ? Headers
                                          : g_mime_stream_length(Stream);
        if (End <= Cut || !ReadAt(Stream, Cut, Rest, size_t(End - Cut)) || Rest[0] != '\0') continue;
        // The header ends at a line break that no blank follows; the line
        // breaks before it only fold it.
        size_t Stop = 0;
        while ((Stop = Rest.find('\n', Stop)) != std::string::npos && Stop + 1 < Rest.size() &&
               (Rest[Stop + 1] == ' ' || Rest[Stop + 1] == '\t'))
            ++Stop;
        Rest.resize(std::min(Stop, Rest.size()));
        Piece.clear();
        for (size_t At = 1; At <= Rest.size(); ++At) {
            if (At < Rest.size() && Rest[At] != '\0') {
                const bool Cr = Rest[At] == '\r' && (At + 1 == Rest.size() || Rest[At + 1] == '\n');
                if (Rest[At] != '\n' && !Cr) Piece += Rest[At];
                continue;
            }
            char* Text = g_mime_utils_header_decode_text(nullptr, Piece.c_str());
            SetUtf8(Decoded, Text);
            g_free(Text);
            Out += '\0';
            Out += Decoded;
            Piece.clear();
        }
    }
}

bool FromStream(GMimeStream* Stream, bool Bodies, TMailFields& Out)
{
    Clear(Out);
    // One parser per thread, set to each new stream: its buffers are made once.
    thread_local GMimeParser* Parser = g_mime_parser_new();
    g_mime_parser_init_with_stream(Parser, Stream);
    g_mime_parser_set_format(Parser, GMIME_FORMAT_MESSAGE);
    GMimeMessage* Message = g_mime_parser_construct_message(Parser, nullptr);
    const gint64 HeadersEnd = g_mime_parser_get_headers_end(Parser);
    // The parser lets go of the stream at once, not at its next message.
    GMimeStream* Empty = g_mime_stream_null_new();
    g_mime_parser_init_with_stream(Parser, Empty);
    g_object_unref(Empty);
    if (!Message) return false;
    // A header block beyond the limit is refused, not read in part: a
    // subject cut off there would be a wrong subject.
    if ((HeadersEnd >= 0 ? HeadersEnd : g_mime_stream_length(Stream)) > gint64(MaxHeaderBytes)) {
        g_object_unref(Message);
        return false;
    }
    SetUtf8(Out.Subject, g_mime_message_get_subject(Message));
    AddCutRest(Stream, GMIME_OBJECT(Message), HeadersEnd, "Subject", Out.Subject);
    if (InternetAddressList* From = g_mime_message_get_from(Message);
        From && internet_address_list_length(From) > 0) {
        InternetAddress* A = internet_address_list_get_address(From, 0);
        const char* Name = internet_address_get_name(A);
        if (Name && *Name) SetUtf8(Out.SenderName, Name);
        else if (INTERNET_ADDRESS_IS_MAILBOX(A))
            SetUtf8(Out.SenderName, internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(A)));
    }
    AddCutRest(Stream, GMIME_OBJECT(Message), HeadersEnd, "From", Out.SenderName);
    if (GDateTime* Date = g_mime_message_get_date(Message)) {
        Out.HasDate = true;
        Out.Date = g_date_time_to_unix(Date);
    }
    if (Bodies) {
        bool Plain = false, Html = false;
        FindBodies(g_mime_message_get_mime_part(Message), Out, Plain, Html, 0);
        if (Out.Body.empty() && Out.HTMLBody.empty()) RawBodyDigest(Stream, HeadersEnd, Out.RawBodyDigest);
    }
    g_object_unref(Message);
    return true;
}

// The bytes up to and including the first empty line (the header block).
// Start only skips bytes already searched.
size_t HeaderEnd(std::string_view Bytes, size_t Start = 0)
{
    if (Start == 0 && Bytes.size() >= 1 && Bytes[0] == '\n') return 1;
    if (Start == 0 && Bytes.size() >= 2 && Bytes[0] == '\r' && Bytes[1] == '\n') return 2;
    for (size_t I = Start; I + 1 < Bytes.size(); ++I) {
        if (Bytes[I] != '\n') continue;
        if (Bytes[I + 1] == '\n') return I + 2;
        if (Bytes[I + 1] == '\r' && I + 2 < Bytes.size() && Bytes[I + 2] == '\n') return I + 3;
    }
    return std::string_view::npos;
}

struct TFd {
    int Fd = -1;
    ~TFd()
    {
        if (Fd >= 0) ::close(Fd);
    }
};

} // namespace

bool ParseMailMessage(std::string_view Bytes, bool Bodies, TMailFields& Out)
{
    InitGMime();
    const size_t Head = std::min(HeaderEnd(Bytes), Bytes.size());
    if (Head > MaxHeaderBytes + 2) {  // the block and its empty line
        Clear(Out);
        return false;
    }
    if (!Bodies) Bytes = Bytes.substr(0, Head);
    GMimeStream* Stream = g_mime_stream_mem_new_with_buffer(Bytes.data(), Bytes.size());
    const bool Ok = FromStream(Stream, Bodies, Out);
    g_object_unref(Stream);
    return Ok;
}

bool ReadMailFile(const std::string& Path, bool Bodies, TMailFields& Out, std::string& Error, struct statx* Seen)
{
    InitGMime();
    TFd F;
    // Opened without waiting: a FIFO put in the message's place would
    // otherwise hold the reader until some writer came.
    F.Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct statx X;
    if (F.Fd < 0 || ::statx(F.Fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &X) != 0) {
        Error = Path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(X.stx_mode)) {
        Error = Path + ": not a regular file.";
        return false;
    }
    if (Seen) *Seen = X;
    bool Ok;
    if (Bodies) {
        // GMime reads the file itself and keeps only what it needs.
        GMimeStream* Stream = g_mime_stream_fs_new(F.Fd);
        g_mime_stream_fs_set_owner(GMIME_STREAM_FS(Stream), FALSE);
        Ok = FromStream(Stream, true, Out);
        g_object_unref(Stream);
    } else {
        // The header block goes into one buffer kept per thread: a scan
        // reads many messages, and a fresh buffer for each costs more in
        // the allocator than the reading does.
        thread_local GByteArray* Head = g_byte_array_new();
        g_byte_array_set_size(Head, 0);
        size_t End = std::string::npos;
        bool Whole = false;  // the file ended
        while (Head->len < MaxHeaderBytes) {
            const size_t Used = Head->len;
            g_byte_array_set_size(Head, guint(Used + 16384));
            const ssize_t N = ::read(F.Fd, Head->data + Used, 16384);
            g_byte_array_set_size(Head, guint(Used + size_t(std::max<ssize_t>(N, 0))));
            if (N < 0 && errno == EINTR) continue;
            if (N < 0) {
                Error = Path + ": " + std::strerror(errno);
                return false;
            }
            if (N == 0) {
                Whole = true;
                break;
            }
            End = HeaderEnd(std::string_view(reinterpret_cast<const char*>(Head->data), Head->len),
                            Used >= 3 ? Used - 3 : 0);
            if (End != std::string::npos) break;
        }
        if (End == std::string::npos && !Whole) {
            Clear(Out);
            Error = Path + ": the header block is longer than " + std::to_string(MaxHeaderBytes >> 20) + " MiB.";
            return false;
        }
        if (End != std::string::npos) g_byte_array_set_size(Head, guint(End));
        GMimeStream* Stream = g_mime_stream_mem_new();
        g_mime_stream_mem_set_byte_array(GMIME_STREAM_MEM(Stream), Head);
        Ok = FromStream(Stream, false, Out);
        g_object_unref(Stream);
    }
    if (!Ok) Error = Path + ": no message could be read from the file.";
    return Ok;
}

} // namespace plat
