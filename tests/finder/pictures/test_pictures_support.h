#pragma once
// Shared by the picture tests: a private temporary folder, sample paths,
// picture makers, and a main that starts an offscreen GUI application
// (the metafile renderer draws through QPainter).
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

inline std::string Sample(const std::string& Name) { return std::string(CORVANE_PICTURE_SAMPLES) + "/" + Name; }

inline std::string ReadAll(const std::string& Path)
{
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

inline void WriteAll(const std::string& Path, const std::string& Bytes)
{
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), std::streamsize(Bytes.size()));
}

class TPictureTemp : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    std::string Path(const std::string& Name) const { return Dir.path().toStdString() + "/" + Name; }
    // Writes Bytes under Name and gives the full path.
    std::string Make(const std::string& Name, const std::string& Bytes) const
    {
        const std::string Full = Path(Name);
        WriteAll(Full, Bytes);
        return Full;
    }
    // Saves a picture in a lossless format chosen by Format ("PNG", "BMP").
    std::string Save(const std::string& Name, const QImage& Picture, const char* Format = "PNG") const
    {
        const std::string Full = Path(Name);
        EXPECT_TRUE(Picture.save(QString::fromStdString(Full), Format));
        return Full;
    }
};

inline QImage Filled(int Width, int Height, QColor Colour)
{
    QImage Picture(Width, Height, QImage::Format_RGB888);
    Picture.fill(Colour);
    return Picture;
}

inline QImage Negative(const QImage& Picture)
{
    QImage Result = Picture.convertToFormat(QImage::Format_RGB888);
    Result.invertPixels();
    return Result;
}

// Pseudo-random picture from a seed, reproducible across runs.
inline QImage Noise(int Width, int Height, unsigned Seed)
{
    QImage Picture(Width, Height, QImage::Format_RGB888);
    unsigned State = Seed * 2654435761u + 1;
    for (int Y = 0; Y < Height; ++Y) {
        uchar* Row = Picture.scanLine(Y);
        for (int X = 0; X < 3 * Width; ++X) {
            State = State * 1103515245u + 12345u;
            Row[X] = uchar(State >> 23);
        }
    }
    return Picture;
}

#define CORVANE_PICTURE_TEST_MAIN                                              \
    int main(int argc, char** argv)                                            \
    {                                                                          \
        setenv("QT_QPA_PLATFORM", "offscreen", 1);                             \
        QTemporaryDir Runtime;                                                 \
        setenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit().constData(), 1); \
        QGuiApplication App(argc, argv);                                       \
        ::testing::InitGoogleTest(&argc, argv);                                \
        return RUN_ALL_TESTS();                                                \
    }
