#pragma once
// File categories by extension and the one file filter that every entry of a
// file scan passes before it may open or join a group.
#include <cstdint>
#include <string>
#include <vector>

namespace finder {

// Category numbers: 0 documents, 1 pictures, 2 music, 3 video, 4 system
// files, 5 custom types, 11..16 the picture types, 31..35 the music types.
enum FileCategory : int {
    catDocuments = 0, catPictures = 1, catMusic = 2, catVideo = 3, catSystem = 4, catCustom = 5,
    catBmp = 11, catJpeg = 12, catGif = 13, catWmf = 14, catPng = 15, catIco = 16,
    catMp3 = 31, catWma = 32, catRm = 33, catOgg = 34, catFlac = 35,
};

// The Basic mode's type choice (the radio buttons of its filter panel).
enum class TBasicType { AllFiles, Documents, PicturePhoto, Music, VideoMovies, Custom, Zero };

// What the "Don't Scan" options and the mode's type choice say.
struct TFilterOptions {
    int Mode = 1;                       // 1 Basic, 3 Music, 4 Photo; others pass nothing
    bool ProtectSystemFiles = true;     // cbSystemFile
    bool SizeLimit = false;             // cbUserFileSize
    int64_t SizeLimitKB = 10;           // sedUserFileSize
    bool SkipZero = false;              // cbZero
    TBasicType BasicType = TBasicType::AllFiles;
    bool MusicAll = true;               // rbMusicAll, else the boxes below
    bool Mp3 = true, Wma = true, Rm = true, Ogg = true, Flac = true;
    bool PhotoAll = true;               // rbPhotoAll, else the boxes below
    bool Bmp = true, Jpeg = true, Gif = true, Wmf = true, Png = true, Ico = true;
    std::vector<std::string> CustomFileTypes;  // "*.ext" entries as stored
};

// The extension with its dot, ASCII letters lowered; empty when the last of
// ".", "/", "\" and ":" in Name is not a dot.
std::string LowerExtension(const std::string& Name);

bool IsFileOfCategory(int Category, const std::string& Name,
                      const std::vector<std::string>& CustomFileTypes = {});

// Sizes are 64-bit: a 4 GiB file is neither empty nor smaller than 10 KB.
bool PassesFileFilter(const TFilterOptions& Options, const std::string& Name, int64_t Size);
// Whether PassesFileFilter looks at the size at all.
bool FilterReadsSize(const TFilterOptions& Options);

} // namespace finder
