#include "finder/pictures/PictureLoader.h"

#include "finder/pictures/Metafile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

namespace {

// The extension test of the file categories: the text from the last "." that
// follows the last "/" and ":", lower-cased in ASCII.
std::string LowerExtension(const std::string& Name)
{
    const size_t Pos = Name.find_last_of("./:");
    if (Pos == std::string::npos || Name[Pos] != '.') return {};
    std::string Ext = Name.substr(Pos);
    for (char& C : Ext)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return Ext;
}

bool SizeAllowed(long long Width, long long Height, long long MaxPixels)
{
    return Width > 0 && Height > 0 && Width <= 65535 && Height <= 65535 && Width * Height <= MaxPixels;
}

void SetError(std::string* Error, const std::string& Text)
{
    if (Error) *Error = Text;
}

// A bitmap of the given size; one that already has that size and is not
// shared is written over, which spares a scan one allocation per picture.
void PrepareBitmap(QImage& Bitmap, int Width, int Height)
{
    if (Bitmap.width() == Width && Bitmap.height() == Height && Bitmap.format() == QImage::Format_RGB888 &&
        Bitmap.isDetached())
        return;
    Bitmap = QImage(Width, Height, QImage::Format_RGB888);
}

// ---- JPEG ------------------------------------------------------------------

struct TJpegErrorManager {
    jpeg_error_mgr Base;
    jmp_buf Jump;
    int Code;
};

[[noreturn]] void JpegErrorExit(j_common_ptr Info)
{
    auto* Manager = reinterpret_cast<TJpegErrorManager*>(Info->err);
    Manager->Code = Info->err->msg_code;
    std::longjmp(Manager->Jump, 1);
}

// Warnings that mean lost image data end the decode: libjpeg would otherwise
// fill a cut-off picture with grey and call it a success.
void JpegEmitMessage(j_common_ptr Info, int Level)
{
    if (Level >= 0) return;
    const int Code = Info->err->msg_code;
    if (Code == JWRN_JPEG_EOF || Code == JWRN_HIT_MARKER || Code == JWRN_HUFF_BAD_CODE ||
        Code == JWRN_MUST_RESYNC)
        JpegErrorExit(Info);
    Info->err->num_warnings++;
}

void JpegQuiet(j_common_ptr) {}

// A progressive file may hold thousands of tiny scans; that many is damage.
void JpegProgress(j_common_ptr Info)
{
    auto* Decompress = reinterpret_cast<j_decompress_ptr>(Info);
    if (Decompress->input_scan_number > 1000) {
        Info->err->msg_code = JERR_BAD_PROGRESSION;
        JpegErrorExit(Info);
    }
}

// Decodes with libjpeg. No object with a destructor lives in this frame
// between setjmp and the codec calls, so the long jump skips nothing.
bool DecodeJpeg(const unsigned char* Data, size_t Size, QImage& Bitmap, bool HeaderOnly, int& Width,
                int& Height, long long MaxPixels, int& ErrorCode)
{
    jpeg_decompress_struct Info;
    TJpegErrorManager Manager;
    jpeg_progress_mgr Progress;
    std::memset(&Info, 0, sizeof Info);
    Info.err = jpeg_std_error(&Manager.Base);
    Manager.Base.error_exit = JpegErrorExit;
    Manager.Base.emit_message = JpegEmitMessage;
    Manager.Base.output_message = JpegQuiet;
    Manager.Code = 0;
    if (setjmp(Manager.Jump)) {
        ErrorCode = Manager.Code;
        jpeg_destroy_decompress(&Info);
        return false;
    }
    jpeg_create_decompress(&Info);
    Info.mem->max_memory_to_use = 1024L * 1024 * 1024;
    Progress.progress_monitor = JpegProgress;
    Info.progress = &Progress;
    jpeg_mem_src(&Info, Data, static_cast<unsigned long>(Size));
    // Comment and application markers are passed over, never kept: each costs
    // its bytes and no memory (the JFIF and Adobe markers are still read).
    jpeg_save_markers(&Info, JPEG_COM, 0);
    for (int Marker = JPEG_APP0; Marker <= JPEG_APP0 + 15; ++Marker) jpeg_save_markers(&Info, Marker, 0);
    jpeg_read_header(&Info, TRUE);
    Width = int(Info.image_width);
    Height = int(Info.image_height);
    if (HeaderOnly || Width < 2 || Height < 2) {
        jpeg_destroy_decompress(&Info);
        return true;
    }
    if (!SizeAllowed(Width, Height, MaxPixels)) {
        ErrorCode = JERR_IMAGE_TOO_BIG;
        jpeg_destroy_decompress(&Info);
        return false;
    }
    const bool Cmyk = Info.jpeg_color_space == JCS_CMYK || Info.jpeg_color_space == JCS_YCCK;
    Info.out_color_space = Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&Info);
    PrepareBitmap(Bitmap, Width, Height);
    if (Bitmap.isNull()) {
        ErrorCode = JERR_OUT_OF_MEMORY;
        jpeg_destroy_decompress(&Info);
        return false;
    }
    // One CMYK row, converted into the bitmap's row in place of RGB.
    JSAMPARRAY Row = Cmyk ? (*Info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&Info), JPOOL_IMAGE,
                                                      JDIMENSION(Width) * 4, 1)
                          : nullptr;
    while (Info.output_scanline < Info.output_height) {
        uchar* Line = Bitmap.scanLine(int(Info.output_scanline));
        if (!Cmyk) {
            JSAMPROW Rows[1] = {Line};
            jpeg_read_scanlines(&Info, Rows, 1);
            continue;
        }
        jpeg_read_scanlines(&Info, Row, 1);
        const bool Inverted = Info.saw_Adobe_marker;
        for (int X = 0; X < Width; ++X) {
            const JSAMPLE* P = Row[0] + 4 * X;
            int C = P[0], M = P[1], Y = P[2], K = P[3];
            if (!Inverted) C = 255 - C, M = 255 - M, Y = 255 - Y, K = 255 - K;
            Line[3 * X] = uchar(C * K / 255);
            Line[3 * X + 1] = uchar(M * K / 255);
            Line[3 * X + 2] = uchar(Y * K / 255);
        }
    }
    jpeg_finish_decompress(&Info);
    jpeg_destroy_decompress(&Info);
    return true;
}

bool LoadJpeg(const unsigned char* Data, size_t Size, QImage& Bitmap, std::string* Error, long long MaxPixels)
{
    int Width = 0, Height = 0, Code = 0;
    if (!DecodeJpeg(Data, Size, Bitmap, false, Width, Height, MaxPixels, Code)) {
        Bitmap = QImage();
        char Text[32];
        std::snprintf(Text, sizeof Text, "JPEG error #%d", Code);
        SetError(Error, Text);
        return false;
    }
    return Width > 1 && Height > 1;
}

// ---- GIF -------------------------------------------------------------------

struct TGifSource {
    const unsigned char* Data;
    size_t Size;
    size_t Pos;
};

int GifRead(GifFileType* File, GifByteType* Buffer, int Length)
{
    auto* Source = static_cast<TGifSource*>(File->UserData);
    if (Length <= 0) return 0;
    const size_t Count = std::min(size_t(Length), Source->Size - Source->Pos);
    std::memcpy(Buffer, Source->Data + Source->Pos, Count);
    Source->Pos += Count;
    return int(Count);
}

struct TGifCloser {
    GifFileType* File;
    ~TGifCloser()
    {
        int Ignored = 0;
        if (File) DGifCloseFile(File, &Ignored);
    }
};

std::string GifError(int Code)
{
    const char* Text = GifErrorString(Code);
    return std::string("GIF error: ") + (Text ? Text : "unknown");
}

// The first frame drawn on a canvas of the logical screen's size; parts the
// frame does not cover, and its transparent pixels, stay white.
bool LoadGif(const unsigned char* Data, size_t Size, QImage& Bitmap, bool HeaderOnly, int& Width, int& Height,
             std::string* Error, long long MaxPixels)
{
    TGifSource Source{Data, Size, 0};
    int Code = 0;
    TGifCloser File{DGifOpen(&Source, GifRead, &Code)};
    if (!File.File) {
        SetError(Error, GifError(Code));
        return false;
    }
    GifFileType* Gif = File.File;
    Width = Gif->SWidth;
    Height = Gif->SHeight;
    if (HeaderOnly || Width < 2 || Height < 2) return true;
    if (!SizeAllowed(Width, Height, MaxPixels)) {
        SetError(Error, "GIF error: picture too large");
        return false;
    }
    int Transparent = -1;
    for (;;) {
        GifRecordType Record;
        if (DGifGetRecordType(Gif, &Record) == GIF_ERROR) {
            SetError(Error, GifError(Gif->Error));
            return false;
        }
        if (Record == TERMINATE_RECORD_TYPE) {
            SetError(Error, "GIF error: no image");
            return false;
        }
        if (Record == EXTENSION_RECORD_TYPE) {
            int ExtCode = 0;
            GifByteType* Ext = nullptr;
            if (DGifGetExtension(Gif, &ExtCode, &Ext) == GIF_ERROR) {
                SetError(Error, GifError(Gif->Error));
                return false;
            }
            if (ExtCode == GRAPHICS_EXT_FUNC_CODE && Ext && Ext[0] >= 4)
                Transparent = (Ext[1] & 1) ? Ext[4] : -1;
            // Every other extension is passed over sub-block by sub-block
            // (255 bytes at most, in giflib's own buffer): nothing is kept.
            while (Ext) {
                if (DGifGetExtensionNext(Gif, &Ext) == GIF_ERROR) {
                    SetError(Error, GifError(Gif->Error));
                    return false;
                }
            }
            continue;
        }
        if (Record != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(Gif) == GIF_ERROR) {
            SetError(Error, GifError(Gif->Error));
            return false;
        }
        const GifImageDesc& Desc = Gif->Image;
        const ColorMapObject* Map = Desc.ColorMap ? Desc.ColorMap : Gif->SColorMap;
        if (!Map || !Map->Colors) {
            SetError(Error, GifError(D_GIF_ERR_NO_COLOR_MAP));
            return false;
        }
        if (Desc.Width < 0 || Desc.Height < 0 ||
            (Desc.Width > 0 && Desc.Height > 0 && !SizeAllowed(Desc.Width, Desc.Height, MaxPixels))) {
            SetError(Error, "GIF error: frame too large");
            return false;
        }
        PrepareBitmap(Bitmap, Width, Height);
        if (Bitmap.isNull()) {
            SetError(Error, "GIF error: out of memory");
            return false;
        }
        Bitmap.fill(Qt::white);
        if (Desc.Width == 0 || Desc.Height == 0) return true;
        std::string Line(size_t(Desc.Width), '\0');
        auto* Pixels = reinterpret_cast<GifPixelType*>(Line.data());
        // Interlaced frames arrive in four passes of rows.
        static const int Start[4] = {0, 4, 2, 1}, Step[4] = {8, 8, 4, 2};
        const int Passes = Desc.Interlace ? 4 : 1;
        for (int Pass = 0; Pass < Passes; ++Pass) {
            const int First = Desc.Interlace ? Start[Pass] : 0, Stride = Desc.Interlace ? Step[Pass] : 1;
            for (int Row = First; Row < Desc.Height; Row += Stride) {
                if (DGifGetLine(Gif, Pixels, Desc.Width) == GIF_ERROR) {
                    Bitmap = QImage();
                    SetError(Error, GifError(Gif->Error));
                    return false;
                }
                const long long Y = (long long)Desc.Top + Row;
                if (Y >= Height) continue;
                uchar* Out = Bitmap.scanLine(int(Y));
                for (int X = 0; X < Desc.Width; ++X) {
                    const long long OutX = (long long)Desc.Left + X;
                    if (OutX >= Width) break;
                    const int Index = Pixels[X];
                    if (Index == Transparent) continue;
                    // An index past the colour table draws black.
                    GifColorType Colour{0, 0, 0};
                    if (Index < Map->ColorCount) Colour = Map->Colors[Index];
                    Out[3 * OutX] = Colour.Red;
                    Out[3 * OutX + 1] = Colour.Green;
                    Out[3 * OutX + 2] = Colour.Blue;
                }
            }
        }
        return true;
    }
}

// ---- PNG -------------------------------------------------------------------

// libpng reads from memory through this source and reports its errors here.
struct TPngReader {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    const unsigned char* Data = nullptr;
    size_t Size = 0;
    size_t Pos = 0;
    char Message[128] = {};
    ~TPngReader() { png_destroy_read_struct(&Png, &Info, nullptr); }
};

void PngRead(png_structp Png, png_bytep Out, size_t Count)
{
    auto* Reader = static_cast<TPngReader*>(png_get_io_ptr(Png));
    if (Count > Reader->Size - Reader->Pos) png_error(Png, "read beyond end of data");
    std::memcpy(Out, Reader->Data + Reader->Pos, Count);
    Reader->Pos += Count;
}

[[noreturn]] void PngFail(png_structp Png, png_const_charp Message)
{
    auto* Reader = static_cast<TPngReader*>(png_get_error_ptr(Png));
    std::snprintf(Reader->Message, sizeof Reader->Message, "%s", Message);
    png_longjmp(Png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// The steps that may end in libpng's long jump. No object with a destructor
// lives in these frames.
bool PngReadHeader(TPngReader& Reader)
{
    if (setjmp(png_jmpbuf(Reader.Png))) return false;
    png_set_read_fn(Reader.Png, &Reader, PngRead);
    // Only the chunks that decide the pixels are read: every other chunk
    // (texts, profiles, private data) is passed over without a buffer, so a
    // chunk that claims gigabytes costs nothing. What remains is bounded.
    png_set_keep_unknown_chunks(Reader.Png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    static const png_byte Kept[] = {'g', 'A', 'M', 'A', 0, 's', 'R', 'G', 'B', 0};
    png_set_keep_unknown_chunks(Reader.Png, PNG_HANDLE_CHUNK_AS_DEFAULT, Kept, 2);
    png_set_chunk_malloc_max(Reader.Png, 64 * 1024);
    png_set_chunk_cache_max(Reader.Png, 16);
    png_set_user_limits(Reader.Png, 65535, 65535);
    png_read_info(Reader.Png, Reader.Info);
    return true;
}

// Decodes into Rows as 8-bit RGB, or RGBA when WithAlpha.
bool PngReadRows(TPngReader& Reader, png_bytepp Rows, bool WithAlpha, size_t RowBytes)
{
    if (setjmp(png_jmpbuf(Reader.Png))) return false;
    png_set_expand(Reader.Png);
    png_set_scale_16(Reader.Png);
    png_set_gray_to_rgb(Reader.Png);
    if (!WithAlpha) png_set_strip_alpha(Reader.Png);
    png_set_gamma(Reader.Png, PNG_DEFAULT_sRGB, PNG_DEFAULT_sRGB);
    png_set_interlace_handling(Reader.Png);
    png_read_update_info(Reader.Png, Reader.Info);
    if (png_get_rowbytes(Reader.Png, Reader.Info) != RowBytes) png_error(Reader.Png, "unexpected row format");
    png_read_image(Reader.Png, Rows);
    png_read_end(Reader.Png, nullptr);
    return true;
}

bool LoadPng(const unsigned char* Data, size_t Size, QImage& Bitmap, bool HeaderOnly, int& Width, int& Height,
             std::string* Error, long long MaxPixels)
{
    TPngReader Reader;
    Reader.Data = Data;
    Reader.Size = Size;
    Reader.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &Reader, PngFail, PngWarn);
    if (Reader.Png) Reader.Info = png_create_info_struct(Reader.Png);
    if (!Reader.Info) {
        SetError(Error, "PNG error: out of memory");
        return false;
    }
    if (!PngReadHeader(Reader)) {
        SetError(Error, std::string("PNG error: ") + Reader.Message);
        return false;
    }
    Width = int(png_get_image_width(Reader.Png, Reader.Info));
    Height = int(png_get_image_height(Reader.Png, Reader.Info));
    if (HeaderOnly || Width < 2 || Height < 2) return true;
    if (!SizeAllowed(Width, Height, MaxPixels)) {
        SetError(Error, "PNG error: picture too large");
        return false;
    }
    PrepareBitmap(Bitmap, Width, Height);
    if (Bitmap.isNull()) {
        SetError(Error, "PNG error: out of memory");
        return false;
    }
    // Transparent parts show white: a picture with alpha is decoded apart
    // and laid on white.
    const bool WithAlpha = (png_get_color_type(Reader.Png, Reader.Info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                           png_get_valid(Reader.Png, Reader.Info, PNG_INFO_tRNS) != 0;
    std::vector<unsigned char> Rgba(WithAlpha ? size_t(Width) * size_t(Height) * 4 : 0);
    std::vector<png_bytep> Rows(static_cast<size_t>(Height));
    for (int Y = 0; Y < Height; ++Y)
        Rows[size_t(Y)] = WithAlpha ? Rgba.data() + size_t(Y) * size_t(Width) * 4 : Bitmap.scanLine(Y);
    if (!PngReadRows(Reader, Rows.data(), WithAlpha, size_t(Width) * (WithAlpha ? 4 : 3))) {
        Bitmap = QImage();
        SetError(Error, std::string("PNG error: ") + Reader.Message);
        return false;
    }
    for (int Y = 0; WithAlpha && Y < Height; ++Y) {
        const unsigned char* In = Rows[size_t(Y)];
        uchar* Out = Bitmap.scanLine(Y);
        for (int X = 0; X < Width; ++X, In += 4, Out += 3) {
            const unsigned Alpha = In[3];
            for (int C = 0; C < 3; ++C) Out[C] = uchar((In[C] * Alpha + 255 * (255 - Alpha) + 127) / 255);
        }
    }
    return true;
}

// ---- BMP and ICO through Qt's readers -------------------------------------

// The least a bitmap file must hold for its rows: Qt's reader would return a
// cut-off file as a picture with missing rows.
bool BitmapDataComplete(const unsigned char* Data, size_t Size)
{
    if (Size < 26) return false;
    auto U32 = [&](size_t At) { return uint32_t(Data[At]) | uint32_t(Data[At + 1]) << 8 |
                                       uint32_t(Data[At + 2]) << 16 | uint32_t(Data[At + 3]) << 24; };
    auto U16 = [&](size_t At) { return uint32_t(Data[At]) | uint32_t(Data[At + 1]) << 8; };
    const uint32_t Offset = U32(10), HeaderSize = U32(14);
    long long Width, Height, Bits, Compression = 0;
    if (HeaderSize == 12) {
        Width = U16(18);
        Height = U16(20);
        Bits = U16(24);
    } else {
        if (Size < 34) return false;
        Width = int32_t(U32(18));
        Height = int32_t(U32(22));
        Bits = U16(28);
        Compression = U32(30);
    }
    if (Compression != 0 && Compression != 3) return true; // run-length data: Qt checks it as it reads
    if (Height < 0) Height = -Height;
    if (Width < 0 || Bits <= 0 || Bits > 32 || Offset > Size) return false;
    const long long RowBytes = (Width * Bits + 31) / 32 * 4; // below 2^37: no overflow
    // Rows times row size compared by division: their product can overflow.
    return RowBytes == 0 || Height <= (long long)(Size - Offset) / RowBytes;
}

bool LoadWithQt(const unsigned char* Data, size_t Size, const char* Format, QImage& Bitmap, bool HeaderOnly,
                int& Width, int& Height, std::string* Error, long long MaxPixels)
{
    QByteArray Bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(Data), qsizetype(Size));
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::ReadOnly);
    QImageReader Reader(&Buffer, Format);
    Reader.setDecideFormatFromContent(false);
    Reader.setAutoDetectImageFormat(false);
    Reader.setAllocationLimit(int(std::min<long long>(MaxPixels * 4 / (1024 * 1024) + 1, 4096)));
    const QSize Header = Reader.size();
    if (Header.isValid()) {
        Width = Header.width();
        Height = Header.height();
        if (HeaderOnly || Width < 2 || Height < 2) return true;
        if (!SizeAllowed(Width, Height, MaxPixels)) {
            SetError(Error, std::string(Format) + " error: picture too large");
            return false;
        }
    } else if (HeaderOnly) {
        return false;
    }
    QImage Image;
    if (!Reader.read(&Image) || Image.isNull()) {
        SetError(Error, std::string(Format) + " error: " + Reader.errorString().toStdString());
        return false;
    }
    Width = Image.width();
    Height = Image.height();
    if (Image.hasAlphaChannel()) {
        QImage Canvas(Image.size(), QImage::Format_RGB32);
        Canvas.fill(Qt::white);
        QPainter Painter(&Canvas);
        Painter.drawImage(0, 0, Image);
        Painter.end();
        Image = Canvas;
    }
    Bitmap = Image.convertToFormat(QImage::Format_RGB888);
    return !Bitmap.isNull();
}

bool DecodeData(const unsigned char* Data, size_t Size, int Type, QImage& Bitmap, bool HeaderOnly, int& Width,
                int& Height, std::string* Error, long long MaxPixels)
{
    Width = Height = 0;
    switch (Type) {
    case ptBitmap:
        if (!HeaderOnly && !BitmapDataComplete(Data, Size)) {
            SetError(Error, "bmp error: file is cut short");
            return false;
        }
        return LoadWithQt(Data, Size, "bmp", Bitmap, HeaderOnly, Width, Height, Error, MaxPixels);
    case ptJpeg: {
        int Code = 0;
        if (HeaderOnly) return DecodeJpeg(Data, Size, Bitmap, true, Width, Height, MaxPixels, Code);
        if (!LoadJpeg(Data, Size, Bitmap, Error, MaxPixels)) return false;
        Width = Bitmap.width();
        Height = Bitmap.height();
        return true;
    }
    case ptGif:
        return LoadGif(Data, Size, Bitmap, HeaderOnly, Width, Height, Error, MaxPixels);
    case ptPng:
        return LoadPng(Data, Size, Bitmap, HeaderOnly, Width, Height, Error, MaxPixels);
    case ptIcon:
        // An icon's directory may give another size than the picture inside
        // it, so its size is known only from the decode.
        if (HeaderOnly) return false;
        return LoadWithQt(Data, Size, "ico", Bitmap, HeaderOnly, Width, Height, Error, MaxPixels);
    case ptMetafile:
    case ptPlaceableWmf:
        if (HeaderOnly) return false;
        if (!LoadMetafileData(Data, Size, Bitmap, Error, MaxPixels)) return false;
        Width = Bitmap.width();
        Height = Bitmap.height();
        return true;
    default:
        SetError(Error, "not a picture type that is loaded");
        return false;
    }
}

} // namespace

bool ReadFileBytes(const std::string& Path, std::string& Bytes, long long Limit, bool Whole)
{
    Bytes.clear();
    // Regular files only: a FIFO or device named like a picture must not
    // block the scan or be read without end.
    const int Descriptor = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (Descriptor < 0) return false;
    struct stat Status;
    if (::fstat(Descriptor, &Status) != 0 || !S_ISREG(Status.st_mode)) {
        ::close(Descriptor);
        return false;
    }
    std::FILE* File = ::fdopen(Descriptor, "rb");
    if (!File) {
        ::close(Descriptor);
        return false;
    }
    char Buffer[65536];
    bool Ok = true;
    for (;;) {
        const size_t Got = std::fread(Buffer, 1, sizeof Buffer, File);
        if (Got == 0) {
            Ok = !std::ferror(File);
            break;
        }
        const size_t Room = size_t(Limit) - Bytes.size();
        if (Got > Room) {
            Bytes.append(Buffer, Room);
            Ok = !Whole;
            break;
        }
        Bytes.append(Buffer, Got);
    }
    std::fclose(File);
    return Ok;
}

int PictureDataType(const unsigned char* Data, size_t Size, const std::string& Name)
{
    if (Size < 2) return ptNone;
    const unsigned Word = unsigned(Data[0]) | unsigned(Data[1]) << 8;
    switch (Word) {
    case 0x4D42: return ptBitmap;
    case 0xD8FF: return ptJpeg;
    case 0x4947: return ptGif;
    case 0x050A: return ptPcx;
    case 0x5089: return ptPng;
    case 0x4238: return ptPsd;
    case 0xA659: return ptSunRaster;
    case 0xDA01: return ptSgi;
    case 0x4949: return ptTiff;
    case 0x0000: return LowerExtension(Name) == ".ico" ? ptIcon : ptNone;
    case 0x0001: {
        const std::string Ext = LowerExtension(Name);
        return Ext == ".wmf" || Ext == ".emf" ? ptMetafile : ptNone;
    }
    case 0xCDD7: return ptPlaceableWmf;
    case 0x4952: return ptRiff;
    default: return ptNone;
    }
}

int PictureFileType(const std::string& Path)
{
    std::string Head;
    if (!ReadFileBytes(Path, Head, 2, false)) return ptNone;
    return PictureDataType(reinterpret_cast<const unsigned char*>(Head.data()), Head.size(), Path);
}

bool IsLoadedPictureType(int Type)
{
    switch (Type) {
    case ptBitmap: case ptJpeg: case ptGif: case ptPng: case ptIcon: case ptMetafile: case ptPlaceableWmf:
        return true;
    default:
        return false;
    }
}

bool LoadPictureData(const unsigned char* Data, size_t Size, int Type, QImage& Bitmap, std::string* Error,
                     long long MaxPixels)
{
    int Width = 0, Height = 0;
    if (!DecodeData(Data, Size, Type, Bitmap, false, Width, Height, Error, MaxPixels)) {
        Bitmap = QImage();
        return false;
    }
    if (Width < 2 || Height < 2 || Bitmap.isNull()) {
        SetError(Error, "picture smaller than 2 x 2 pixels");
        Bitmap = QImage();
        return false;
    }
    return true;
}

bool LoadPicture(const std::string& Path, QImage& Bitmap, std::string* Error, long long MaxPixels)
{
    const int Type = PictureFileType(Path);
    if (!IsLoadedPictureType(Type)) {
        Bitmap = QImage();
        SetError(Error, "not a picture type that is loaded");
        return false;
    }
    std::string Bytes;
    if (!ReadFileBytes(Path, Bytes, kPictureMaxFileBytes, true)) {
        Bitmap = QImage();
        SetError(Error, "cannot read the file");
        return false;
    }
    return LoadPictureData(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), Type, Bitmap, Error,
                           MaxPixels);
}

bool ReadPictureDataSize(const unsigned char* Data, size_t Size, int Type, int& Width, int& Height)
{
    QImage Unused;
    return DecodeData(Data, Size, Type, Unused, true, Width, Height, nullptr, kPictureMaxPixels);
}

bool ReadPictureSize(const std::string& Path, int Type, int& Width, int& Height)
{
    // Headers sit near the start; a JPEG's frame header may follow a large
    // block of camera data, so read a generous head.
    std::string Head;
    if (!ReadFileBytes(Path, Head, 512 * 1024, false)) return false;
    return ReadPictureDataSize(reinterpret_cast<const unsigned char*>(Head.data()), Head.size(), Type, Width, Height);
}
