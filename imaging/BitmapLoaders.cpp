// The loader base class, the registry that picks a loader by extension, and
// the linear bitmap's file and stream operations that go through it.
#include "imaging/LinarBitmap.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace imaging {

bool FilterHas(const std::string &filter, const std::string &ext)
{
    return !ext.empty() && UpperCase(filter).find("*." + UpperCase(ext)) != std::string::npos;
}

// Constant-initialised: registration may start from any start-up code.
constinit TBitmapLoaders BitmapLoaders;

namespace {



// A private temporary file: created exclusively with an unpredictable name
// (mkostemps), removed by the destructor on every path.
class TempFile {
public:
    explicit TempFile(const std::string &ext)
    {
        const char *env = std::getenv("TMPDIR");
        std::string folder = env && *env ? env : "/tmp";
        if (folder.back() != '/')
            folder += '/';
        // The extension only decorates the name: keep letters and digits.
        std::string suffix;
        for (char c : ext)
            if (std::isalnum(static_cast<unsigned char>(c)) && suffix.size() < 16)
                suffix += c;
        if (!suffix.empty())
            suffix = "." + suffix;
        std::string name = folder + "kss-XXXXXX" + suffix;
        fd_ = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
        if (fd_ < 0)
            throw EInOutError("Error opening \"" + name + "\" - " + std::strerror(errno));
        name_ = name;
    }
    ~TempFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
        ::unlink(name_.c_str());
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    const std::string &Name() const { return name_; }
    // Hands the descriptor on (to a TFileStream that will close it).
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    std::string name_;
    int fd_ = -1;
};

bool CaseInsensitiveLess(const std::string &a, const std::string &b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

// ------------------------------------------------------------- TBitmapLoader

bool TBitmapLoader::CanLoad(const std::string &Ext)
{
    std::string filter;
    GetLoadFilter(filter);
    return FilterHas(filter, Ext);
}

bool TBitmapLoader::CanSave(const std::string &Ext)
{
    std::string filter;
    GetSaveFilter(filter);
    return FilterHas(filter, Ext);
}

void TBitmapLoader::GetLoadFilter(std::string &Filter) { Filter.clear(); }

void TBitmapLoader::GetSaveFilter(std::string &Filter) { GetLoadFilter(Filter); }

void TBitmapLoader::LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap)
{
    TempFile temp(Ext);
    auto file = TFileStream::CreateFromHandle(temp.Release());
    file->FileName = temp.Name();
    {
        TNoDataExceptOff off(Stream);
        // One byte beyond the limit tells a cut from a stream that fits.
        if (CopyStreamData(Stream, file.get(), kMaxTempStreamBytes + 1) > kMaxTempStreamBytes)
            throw ELinearBitmap("Image data larger than 104857600 bytes");
    }
    LoadFromFile(temp.Name(), Ext, Bitmap);
}

void TBitmapLoader::SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap)
{
    TempFile temp(Ext);
    temp.Close();
    SaveToFile(temp.Name(), Ext, Bitmap);
    TFileStream file(temp.Name(), fmRead);
    Stream.CopyFrom(file);
}

void TBitmapLoader::LoadFromFile(const std::string &FileName, const std::string &Ext, TLinearBitmap &Bitmap)
{
    TFileStream file(FileName, fmRead | fmShareRead);
    LoadFromStream(file, Ext, Bitmap);
}

void TBitmapLoader::SaveToFile(const std::string &FileName, const std::string &Ext, const TLinearBitmap &Bitmap)
{
    TFileStream file(FileName, fmRead | fmWrite | fmCreate);
    try {
        SaveToStream(file, Ext, Bitmap);
        file.Finish();
    } catch (...) {
        try {
            file.CloseAndDelete();
        } catch (...) {
            // the save's own failure is the one to report
        }
        throw;
    }
}

// ------------------------------------------------------------ TBitmapLoaders

void TBitmapLoaders::Add(TBitmapLoader *Loader) { List.push_back(Loader); }

void TBitmapLoaders::Remove(TBitmapLoader *Loader) { std::erase(List, Loader); }

TBitmapLoader *TBitmapLoaders::FindLoader(const std::string &Ext) const
{
    const std::string ext = UpperCase(Ext);
    for (TBitmapLoader *loader : List)
        if (loader->CanLoad(ext))
            return loader;
    throw EUnsupportedFileFormat("Unsupported file format: " + ext);
}

TBitmapLoader *TBitmapLoaders::FindSaver(const std::string &Ext) const
{
    const std::string ext = UpperCase(Ext);
    for (TBitmapLoader *loader : List)
        if (loader->CanSave(ext))
            return loader;
    throw EUnsupportedFileFormat("Unsupported file format: " + ext);
}

void TBitmapLoaders::GetSaveFilter(std::string &Filter) const
{
    std::vector<std::string> pairs;
    for (TBitmapLoader *loader : List) {
        std::string f;
        loader->GetSaveFilter(f);
        AddFilterPairs(f, pairs);
    }
    std::stable_sort(pairs.begin(), pairs.end(), CaseInsensitiveLess);
    Filter.clear();
    for (const auto &p : pairs) {
        if (!Filter.empty() && Filter.back() != '|')
            Filter += '|';
        Filter += p;
    }
}

void AddLoader(TBitmapLoader *Loader) { BitmapLoaders.Add(Loader); }

void AddFilterPairs(const std::string &Filter, std::vector<std::string> &List)
{
    // Positions are 0-based here; both searches stop before the last character.
    const std::size_t len = Filter.size();
    std::size_t pos = 0;
    while (len > pos + 1) {
        const std::size_t bar = Filter.find('|', pos);
        if (bar == std::string::npos || bar >= len - 1)
            throw platform::EAssertionFailed("Invalid filter string (LinarBitmap, line " + std::to_string(__LINE__) +
                                             ")");
        std::size_t next = Filter.find('|', bar + 1);
        if (next == std::string::npos || next >= len - 1)
            next = len;
        List.push_back(Filter.substr(pos, next - pos));
        pos = next + 1;
    }
}

// ---------------------------------------------- TLinearBitmap file operations

void TLinearBitmap::LoadFromFile(const std::string &FileName)
{
    const std::string ext = FileExtUpper(FileName);
    TBitmapLoader *loader = BitmapLoaders.FindLoader(ext);
    Clear();
    loader->LoadFromFile(FileName, ext, *this);
}

void TLinearBitmap::SaveToFile(const std::string &FileName) const
{
    const std::string ext = FileExtUpper(FileName);
    BitmapLoaders.FindSaver(ext)->SaveToFile(FileName, ext, *this);
}

void TLinearBitmap::LoadFromStream(TBaseStream &Stream, const std::string &Ext)
{
    TBitmapLoader *loader = BitmapLoaders.FindLoader(Ext);
    Clear();
    loader->LoadFromStream(Stream, Ext, *this);
}

void TLinearBitmap::SaveToStream(TBaseStream &Stream, const std::string &Ext) const
{
    BitmapLoaders.FindSaver(Ext)->SaveToStream(Stream, Ext, *this);
}

} // namespace imaging
