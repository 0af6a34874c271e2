/* The interface between the program and its image plug-in libraries: shared
 * libraries (*.so) in the program's folder that add file formats. A plug-in
 * exports these plain C functions; the program looks them up by name.
 * This header is shared by the program's loader and by the plug-ins. */
#ifndef KSS_IMAGEPLUGIN_H
#define KSS_IMAGEPLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Format codes: the low four bits give the number of colour planes; bit 4
 * marks planar data (one plane of Width x Height bytes after another). */
enum {
    KSS_PLUGIN_INDEXED8 = 1,  /* 8-bit indices, palette in Palette */
    KSS_PLUGIN_BGR24 = 3,     /* blue, green, red */
    KSS_PLUGIN_BGRX32 = 4,    /* 32-bit pixels; the program keeps 24 bits */
    KSS_PLUGIN_PLANAR = 16,   /* + the plane count */
    KSS_PLUGIN_GREY16 = 33    /* 16-bit grey samples, host byte order */
};

/* Result codes with a fixed meaning; any other non-zero value is a failure
 * the program reports with its number. */
enum {
    KSS_PLUGIN_OK = 0,
    KSS_PLUGIN_CANNOT_OPEN = 2,
    KSS_PLUGIN_BAD_DATA = 3,
    KSS_PLUGIN_BAD_FORMAT = 4,
    KSS_PLUGIN_CANNOT_CLOSE = 5
};

/* The image handed between the program and a plug-in. Rows are top first
 * and unpadded (BytesPerLine = Width x bytes per pixel). Pixels and Palette
 * (256 blue-green-red entries, or null) belong to whoever filled the record:
 * after a load the program hands it back through LibFreeImage. */
typedef struct TImageContainer {
    int32_t Width;
    int32_t Height;
    int32_t BytesPerLine; /* set when saving, not read after loading */
    int32_t PixelFormat;
    uint8_t *Pixels;
    uint8_t *Palette;
    int32_t Reserved;     /* 0 when saving */
} TImageContainer;

#ifdef __cplusplus
/* The layout is part of the interface: a plug-in built elsewhere relies on it. */
static_assert(offsetof(TImageContainer, Width) == 0 && offsetof(TImageContainer, Height) == 4 &&
                  offsetof(TImageContainer, BytesPerLine) == 8 &&
                  offsetof(TImageContainer, PixelFormat) == 12 && offsetof(TImageContainer, Pixels) == 16 &&
                  offsetof(TImageContainer, Palette) == 24 && offsetof(TImageContainer, Reserved) == 32 &&
                  sizeof(TImageContainer) == 40,
              "TImageContainer layout");
#endif

/* The longest extension handed to a plug-in; its buffer holds one more byte. */
#define KSS_PLUGIN_MAX_EXT 260

/* Reads FileName into Image; 0 on success. Ext is the extension as the
 * caller gave it, upper case, zero-terminated. */
typedef int32_t (*TLibLoadImage)(const char *FileName, char *Ext, TImageContainer *Image);
/* Writes Image to FileName; 0 on success. */
typedef int32_t (*TLibSaveImage)(const char *FileName, char *Ext, TImageContainer *Image);
/* Frees what LibLoadImage allocated in Image. */
typedef int32_t (*TLibFreeImage)(TImageContainer *Image);
/* Dialog filters ("Description (*.ext)|*.ext"), zero-terminated; optional. */
typedef const char *(*TLibGetFilter)(void);

#define KSS_PLUGIN_LOAD_IMAGE "LibLoadImage"
#define KSS_PLUGIN_SAVE_IMAGE "LibSaveImage"
#define KSS_PLUGIN_FREE_IMAGE "LibFreeImage"
#define KSS_PLUGIN_GET_LOAD_FILTER "LibGetLoadFilter"
#define KSS_PLUGIN_GET_SAVE_FILTER "LibGetSaveFilter"

#ifdef __cplusplus
}
#endif

#endif
