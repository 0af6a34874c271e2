// An image plug-in for the loader's tests, built three times: FAKE_NO_LOAD leaves out the load function, FAKE_NO_FREE the free
// function. FakeSetup sets what a call returns; what the program handed over is kept.
#include "imaging/imageplugin.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_result = 0, g_format = 3, g_width = 2, g_height = 2, g_nullPixels = 0, g_palette = 0, g_frees = 0;
int g_savedFormat = -1, g_savedBpl = -1;
char g_ext[512];
}

FAKE_EXPORT void FakeSetup(int Result, int Format, int Width, int Height, int NullPixels, int Palette)
{
    g_result = Result, g_format = Format, g_width = Width, g_height = Height;
    g_nullPixels = NullPixels, g_palette = Palette;
}
FAKE_EXPORT int FakeFrees() { return g_frees; }
// The extension, pixel format and bytes per line of the last save.
FAKE_EXPORT const char *FakeSaved(int *Format, int *Bpl) { return *Format = g_savedFormat, *Bpl = g_savedBpl, g_ext; }

#ifndef FAKE_NO_LOAD
// Pixel byte i holds i + 1 (wrapping), so each plane and channel is told apart.
FAKE_EXPORT int32_t LibLoadImage(const char *, char *Ext, TImageContainer *Image)
{
    std::strncpy(g_ext, Ext, sizeof g_ext - 1);
    if (g_result != 0)
        return g_result;
    Image->Width = g_width, Image->Height = g_height, Image->PixelFormat = g_format;
    const std::size_t n = g_nullPixels ? 0 : std::size_t(g_width) * g_height * 4 * ((g_format & 15) ? (g_format & 15) : 1);
    Image->Pixels = n ? static_cast<uint8_t *>(std::malloc(n)) : nullptr;
    for (std::size_t i = 0; i < n; ++i)
        Image->Pixels[i] = static_cast<uint8_t>(i + 1);
    Image->Palette = g_palette ? static_cast<uint8_t *>(std::malloc(768)) : nullptr;
    for (int i = 0; g_palette && i < 768; ++i)
        Image->Palette[i] = static_cast<uint8_t>(255 - i % 256);
    return 0;
}
#endif

FAKE_EXPORT int32_t LibSaveImage(const char *FileName, char *Ext, TImageContainer *Image)
{
    std::strncpy(g_ext, Ext, sizeof g_ext - 1);
    g_savedFormat = Image->PixelFormat, g_savedBpl = Image->BytesPerLine;
    if (FILE *f = std::fopen(FileName, "wb"))
        std::fputs("partial", f), std::fclose(f);
    return g_result;
}

#ifndef FAKE_NO_FREE
FAKE_EXPORT int32_t LibFreeImage(TImageContainer *Image)
{
    std::free(Image->Pixels), std::free(Image->Palette);
    return ++g_frees, 0;
}
#endif

// *.tgax first: *.tga must still count as a mask of its own. The save mask is longer than an extension may be, to see it cut on
// its way here.
#ifdef FAKE_NO_LOAD
FAKE_EXPORT const char *LibGetLoadFilter() { return "Saved (*.sav)|*.sav"; }
FAKE_EXPORT const char *LibGetSaveFilter() { return "Saved (*.sav)|*.sav"; }
#else
static const char *g_loadFilter = "Targa (*.tgax;*.tga;*.TGA)|*.tgax;*.tga;*.TGA|Fake (*.fak;*.*)|*.fak;*.*";
FAKE_EXPORT const char *LibGetLoadFilter() { return g_loadFilter; }
#ifdef FAKE_NO_FREE
FAKE_EXPORT const char *LibGetSaveFilter() { return "Nofree (*.nfr)|*.nfr"; }
#else
static const std::string g_saveFilter = "Fake (*.fak)|*.fak;*." + std::string(300, 'L');
FAKE_EXPORT const char *LibGetSaveFilter() { return g_saveFilter.c_str(); }
#endif
#endif
