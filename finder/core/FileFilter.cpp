#include "finder/core/FileFilter.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace finder {

namespace {

using List = std::initializer_list<std::string_view>;

bool InList(const std::string& Ext, List L)
{
    return std::find(L.begin(), L.end(), std::string_view(Ext)) != L.end();
}

bool InFixedCategory(int Category, const std::string& Ext)
{
    switch (Category) {
    case catDocuments:
        return InList(Ext, {".doc", ".dot", ".log", ".ppa", ".pps", ".ppt", ".pot", ".rft", ".txt", ".wri"});
    case catPictures:
        return InList(Ext, {".bmp", ".emf", ".gif", ".jp2", ".jpx", ".jpk", ".j2k", ".jpc", ".j2c", ".jpg",
                            ".jpeg", ".jpe", ".jif", ".jfif", ".thm", ".pcx", ".dcx", ".pic", ".png", ".psd",
                            ".sgi", ".tga", ".tif", ".tiif", ".wbm", ".wbmp", ".wmf", ".x3f", ".ico"});
    case catMusic:
        return InList(Ext, {".aa", ".aac", ".aif", ".au", ".cda", ".mid", ".midi", ".rmi", ".mpl", ".mp2", ".mp3",
                            ".mp3pro", ".mpa", ".m4a", ".mp4", ".mp+", ".mpc", ".ra", ".tta", ".wav", ".wma",
                            ".ogg"});
    case catVideo:
        return InList(Ext, {".avi", ".vob", ".ifo", ".flv", ".ivf", ".mpg", ".mpeg", ".mpe", ".m1v", ".m2v",
                            ".mpv2", ".mp2v", ".asf", ".ts", ".tp", ".tpr", ".pva", ".pss", ".mp4", ".m4v",
                            ".m4p", ".m4b", ".3gp", ".3gpp", ".3g2", ".3gp2", ".mov", ".qt", ".amr", ".rm",
                            ".ram", ".rmvb", ".rpm", ".wmv", ".wmp", ".wm"});
    case catSystem: return InList(Ext, {".sys", ".ocx", ".drv", ".dll"});
    case catBmp: return Ext == ".bmp";
    case catJpeg: return InList(Ext, {".jpg", ".jpeg", ".jpe"});
    case catGif: return Ext == ".gif";
    case catWmf: return InList(Ext, {".wmf", ".emf"});
    case catPng: return Ext == ".png";
    case catIco: return Ext == ".ico";
    case catMp3: return Ext == ".mp3";
    case catWma: return Ext == ".wma";
    case catRm: return Ext == ".rm";
    case catOgg: return Ext == ".ogg";
    case catFlac: return Ext == ".flac";
    default: return false;
    }
}

} // namespace

std::string LowerExtension(const std::string& Name)
{
    const size_t Pos = Name.find_last_of(".\\/:");
    if (Pos == std::string::npos || Name[Pos] != '.') return {};
    std::string Ext = Name.substr(Pos);
    for (char& C : Ext)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return Ext;
}

bool IsFileOfCategory(int Category, const std::string& Name, const std::vector<std::string>& CustomFileTypes)
{
    const std::string Ext = LowerExtension(Name);
    if (Category == catCustom) {
        // An entry stands for its text without the leading "*"; it is not
        // lowered, so an entry with capitals matches nothing.
        for (const std::string& Entry : CustomFileTypes)
            if (!Entry.empty() && std::string_view(Entry).substr(1) == Ext) return true;
        return false;
    }
    return InFixedCategory(Category, Ext);
}

bool FilterReadsSize(const TFilterOptions& O)
{
    return O.SizeLimit || O.SkipZero || (O.Mode == 1 && O.BasicType == TBasicType::Zero);
}

bool PassesFileFilter(const TFilterOptions& O, const std::string& Name, int64_t Size)
{
    if (O.ProtectSystemFiles && IsFileOfCategory(catSystem, Name)) return false;
    if (O.SizeLimit) {
        if (O.SizeLimitKB * 1024 > Size) return false;
    } else if (O.SkipZero && Size == 0) {
        return false;
    }
    switch (O.Mode) {
    case 1:
        switch (O.BasicType) {
        case TBasicType::Documents: return IsFileOfCategory(catDocuments, Name);
        case TBasicType::PicturePhoto: return IsFileOfCategory(catPictures, Name);
        case TBasicType::Music: return IsFileOfCategory(catMusic, Name);
        case TBasicType::VideoMovies: return IsFileOfCategory(catVideo, Name);
        case TBasicType::Custom: return IsFileOfCategory(catCustom, Name, O.CustomFileTypes);
        case TBasicType::Zero: return Size == 0;
        case TBasicType::AllFiles: return true;
        }
        return true;
    case 3:
        if (O.MusicAll) return IsFileOfCategory(catMusic, Name);
        return (O.Mp3 && IsFileOfCategory(catMp3, Name)) || (O.Wma && IsFileOfCategory(catWma, Name)) ||
               (O.Rm && IsFileOfCategory(catRm, Name)) || (O.Ogg && IsFileOfCategory(catOgg, Name)) ||
               (O.Flac && IsFileOfCategory(catFlac, Name));
    case 4:
        if (O.PhotoAll) return IsFileOfCategory(catPictures, Name);
        return (O.Bmp && IsFileOfCategory(catBmp, Name)) || (O.Jpeg && IsFileOfCategory(catJpeg, Name)) ||
               (O.Gif && IsFileOfCategory(catGif, Name)) || (O.Wmf && IsFileOfCategory(catWmf, Name)) ||
               (O.Png && IsFileOfCategory(catPng, Name)) || (O.Ico && IsFileOfCategory(catIco, Name));
    default:
        return false;
    }
}

} // namespace finder
