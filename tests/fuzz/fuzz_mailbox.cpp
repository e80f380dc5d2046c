// The mailbox readers under libFuzzer: every input is read both as an
// e-mail message (the header block alone and whole) and as a vCard file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/MailMessage.h"
#include "platform/VCardReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
    plat::TMailFields Fields;
    plat::ParseMailMessage(Bytes, false, Fields);
    plat::ParseMailMessage(Bytes, true, Fields);
    for (const plat::TVCardSpan& S : plat::SplitVCards(Bytes)) {
        if (S.Offset + S.Length > Size) __builtin_trap();  // a span must lie inside its text
        plat::ParseVCard(Bytes.substr(S.Offset, S.Length));
    }
    plat::ParseVCard(Bytes);  // a card's reader must also bear any text
    return 0;
}
