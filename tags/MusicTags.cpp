#include "tags/MusicTags.h"

#include <exception>

#include "tags/FLACfile.h"
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tags/RealMediaFile.h"
#include "tags/TextCodec.h"
#include "tags/WMAfile.h"

namespace tags {

namespace {

// The extension with its dot, from the last "." of the file's own name,
// lower-cased in ASCII; "" when the name has no dot.
std::string LowerExtension(const std::string& FileName)
{
    const size_t Slash = FileName.rfind('/');
    const size_t NameStart = Slash == std::string::npos ? 0 : Slash + 1;
    const size_t Dot = FileName.rfind('.');
    if (Dot == std::string::npos || Dot < NameStart) return {};
    std::string Ext = FileName.substr(Dot);
    for (char& C : Ext)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return Ext;
}

void AddFour(std::vector<std::string>& List, const std::string& A, const std::string& B, const std::string& C,
             const std::string& D)
{
    for (const std::string* S : {&A, &B, &C, &D}) List.push_back(TrimControl(*S));
}

} // namespace

int ReadMusicTags(const std::string& FileName, std::vector<std::string>& List)
{
    List.clear();
    const std::string Ext = LowerExtension(FileName);

    if (Ext == ".mp3") {
        // The ID3 readers turn every error into "no tag".
        try {
            TID3v1 V1;
            if (V1.ReadFromFile(FileName) && V1.Exists) AddFour(List, V1.Title, V1.Artist, V1.Year, V1.Comment);
        } catch (const std::exception&) {
            List.clear();
        }
        if (List.empty()) {
            try {
                TID3v2 V2;
                if (V2.ReadFromFile(FileName) && V2.Exists) AddFour(List, V2.Title, V2.Artist, V2.Year, V2.Comment);
            } catch (const std::exception&) {
                List.clear();
            }
        }
    } else if (Ext == ".wma") {
        try {
            TWMAfile Wma;
            if (Wma.ReadFromFile(FileName) && Wma.Valid) AddFour(List, Wma.Title, Wma.Artist, Wma.Year, Wma.Comment);
        } catch (const std::exception&) {
            List.clear();
        }
    }
    // A file that cannot be opened (no read permission) is a file without
    // tags, as an unreadable MP3 or WMA file is: one such file must not end
    // the scan of a whole disk.
    try {
        if (Ext == ".rm") {
            TRMFile Rm;
            Rm.ReadFromFile(FileName);
            if (const TContent* Content = Rm.GetContent()) {
                AddFour(List, SingleByteToUtf8(CText(Content->Title)), SingleByteToUtf8(CText(Content->Author)),
                        SingleByteToUtf8(CText(Content->Copyright)), SingleByteToUtf8(CText(Content->Comment)));
            }
        } else if (Ext == ".ogg") {
            TOggVorbis Ogg;
            if (Ogg.ReadFromFile(FileName) && Ogg.IsValid())
                AddFour(List, Ogg.Title, Ogg.Artist, Ogg.Date, Ogg.Comment);
        } else if (Ext == ".flac") {
            TFLACfile Flac;
            if (Flac.ReadFromFile(FileName) && Flac.IsValid())
                AddFour(List, Flac.Title, Flac.Artist, Flac.Date, Flac.Comment);
        }
    } catch (const EFOpenError&) {
        List.clear();
    }
    return int(List.size());
}

} // namespace tags
