#pragma once
// The data module: the shared image lists, the HTTP client and the online
// update check.
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <functional>
#include <string>
#include <vector>

#include "windows/HttpClient.h"

// Fixed-size pictures, addressed by their index in the order they were added.
class TImageList {
public:
    TImageList(int Width, int Height);
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return int(FImages.size()); }
    QPixmap Pixmap(int Index) const;  // null pixmap when out of range
    QIcon Icon(int Index) const;      // null icon when out of range
    void Add(const QPixmap& P);       // scaled to Width x Height when it differs
    // Cuts a strip of Width-wide pictures laid side by side into the list.
    void AddStrip(const QPixmap& Strip);

private:
    int FWidth;
    int FHeight;
    std::vector<QPixmap> FImages;
};

// Compares two versions number by number ("2.3.10" > "2.3.9"; a missing part
// counts as 0). Negative, zero or positive like strcmp.
int CompareVersions(const std::string& A, const std::string& B);

class TDM : public QObject {
    Q_OBJECT
public:
    TDM();  // loads the pictures; does NOT check for updates
    ~TDM() override;

    // The create handler: the silent check when MyRegistryInfo.CheckUpdate is on.
    // Shows nothing for a failed download; other errors go to plat::ShowException.
    void DataModuleCreate();
    void DataModuleDestroy() {}

    TImageList DiskImageList, DiskStatImageList, DuplicateImages, MinMaxImageList,
        UpdateRegs, MainImageList, SetImages, MainImageList_big;

    THttpClient IdHTTP1;

    // The whole check with its dialogs. Returns normally in every case: a
    // failed download ends it silently, any other error is shown through
    // plat::ShowException, so no exception reaches the event loop.
    void CheckForUpdate(bool ShowProgress);
    // Downloads the update file into the local copy,
    // $XDG_CACHE_HOME/corvane/update/Update.xml (its missing folders made
    // 0700), and compares its version with AppVersion. Throws plat::EAbort on
    // a failed download and std::runtime_error when the local copy cannot be
    // created.
    bool IsNewerVersionAvailable();
    // One GET of URL into FileName. The old content is replaced only when the
    // whole body arrived. Throws plat::EAbort on a failed GET and
    // std::runtime_error when FileName cannot be created.
    void DownloadToFile(const std::string& URL, const std::string& FileName);

    // The site the update file is fetched from (VendorSite; tests point it at
    // a local server).
    std::string UpdateSite;
    // Ends the program once the message loop runs (Application.Terminate);
    // tests replace it.
    std::function<void()> Terminate;
};

extern TDM* DM;
