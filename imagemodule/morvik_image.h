/* The image module's C interface: decodes image files into bottom-row-first
   pixel memory (8 bpp indexed with a blue, green, red, 0 palette; 24 bpp blue,
   green, red; 32 bpp blue, green, red, alpha) and resamples them. */
#ifndef MORVIK_IMAGE_H
#define MORVIK_IMAGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MORVIK_IMAGE_EXPORT __attribute__((visibility("default")))

typedef struct MorvikImage MorvikImage;

/* Null for a missing, unreadable, corrupt, unsupported or oversized file.
   The three integers are accepted for compatibility and not used. */
MORVIK_IMAGE_EXPORT MorvikImage *CXI_LoadImage(const char *fileName, int32_t type, int32_t a,
                                               int32_t b);
/* Writes the image as a PNG; 1 on success, 0 on failure. */
MORVIK_IMAGE_EXPORT int32_t CXI_SaveImage(MorvikImage *image, const char *fileName, int32_t type);
MORVIK_IMAGE_EXPORT void CXI_FreeImage(MorvikImage *image);
MORVIK_IMAGE_EXPORT uint8_t *CXI_GetBits(MorvikImage *image);
MORVIK_IMAGE_EXPORT int32_t CXI_GetWidth(MorvikImage *image);
MORVIK_IMAGE_EXPORT int32_t CXI_GetHeight(MorvikImage *image);
MORVIK_IMAGE_EXPORT int32_t CXI_GetBpp(MorvikImage *image);
/* Size in bytes of the palette (4 bytes an entry); 0 for images without one. */
MORVIK_IMAGE_EXPORT int32_t CXI_GetPaletteSize(MorvikImage *image);
MORVIK_IMAGE_EXPORT uint8_t *CXI_GetPalette(MorvikImage *image);
/* filter 1: nearest neighbour, keeps depth and palette; 0: smooth.
   1 on success, 0 on failure (the image is then unchanged). */
MORVIK_IMAGE_EXPORT int32_t CXI_Resize(MorvikImage *image, int32_t width, int32_t height,
                                       int32_t filter);

/* Why the last CXI_LoadImage returned null, in the decoder's words (no final
   period), or "" when there is nothing to add. Not for loads on several
   threads at once. */
MORVIK_IMAGE_EXPORT const char *CXI_LastError(void);

#ifdef __cplusplus
}
#endif

#endif
