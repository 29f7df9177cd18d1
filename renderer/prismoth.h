/* Public interface of libprismoth, the renderer library: eight exports with the
 * DX prefix, the records they take, and the view the library draws for.
 * World coordinates: x east, y north, z down, metres; angles in degrees.
 * Everything passed in is owned by the caller and read only during the call. */
#ifndef PRISMOTH_H
#define PRISMOTH_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DX_SURFACE_CAPACITY 20000    /* surface ids 1..20000 */
#define DX_MAX_SURFACE_VERTICES 101  /* a surface has 3..101 vertices (2..101 accepted) */
#define DX_TEXTURE_CAPACITY 100      /* texture ids 1..100 */
#define DX_FORM_CAPACITY 100         /* form ids 1..100, the vehicle type numbers */

/* The view the library renders for, like a window: the library keeps the
 * pointer until DXTerminate or the next DXInitialize, and reads Width and
 * Height again before each frame, so a view that changes its size gets frames
 * of the new size. Each finished frame is handed to present as rows of RGBA
 * bytes, top row first. */
typedef struct DXView {
  int32_t Width;  /* pixels */
  int32_t Height; /* pixels */
  void (*Present)(void* context, const uint8_t* rgba, int32_t width, int32_t height,
                  int32_t stride);
  void* Context; /* handed back to Present */
} DXView;

/* A static surface: one triangle strip in world coordinates. */
typedef struct DXSurface {
  uint32_t Colour;   /* red in bits 0-7, green 8-15, blue 16-23; 24-31 ignored */
  int32_t TextureId; /* 0 = untextured, else an id from DXLoadTexture */
  float Vertices[DX_MAX_SURFACE_VERTICES][3]; /* x, y, z in metres; the first n are used */
} DXSurface;

/* A vehicle as the renderer reads it: the leading fields of the program's
 * vehicle state record, in the same order and layout. */
typedef struct DXVehicleRecord {
  int32_t Kind;
  int32_t FormNo; /* form id 1..100 */
  double X;       /* m, east */
  double Y;       /* m, north */
  double Z;       /* m, down */
  float Heading;  /* deg, clockwise from north */
  float Pitch;    /* deg, nose up */
  float Bank;     /* deg, right wing down */
} DXVehicleRecord;

/* Result codes. */
#define DX_OK 0
#define DX_ERROR_NO_DEVICE 0x40000000      /* DXInitialize: no context at all */
#define DX_ERROR_SURFACE_ID 0x20000000     /* DXRemoveSurface: id outside 1..20000 */
#define DX_ERROR_SURFACE_UNUSED 0x10000000 /* DXRemoveSurface: slot not in use */
#define DX_ERROR_VIEW 0x40000001         /* DXInitialize: no view, no Present, or a bad size */
#define DX_ERROR_FRAME_TARGET 0x40000002 /* DXInitialize, DXDraw: frame target not created */
#define DX_ERROR_SHADERS 0x40000003      /* DXInitialize: drawing programs not built */
#define DX_ERROR_NOT_READY 0x40000004    /* DXDraw: library not initialised */
#define DX_ERROR_CAMERA 0x40000005       /* DXDraw: no camera record */
#define DX_ERROR_FORM_FILE (-1)          /* DXLoadVehicleForm: mesh file missing or unreadable */
#define DX_ERROR_FORM_ARGUMENT (-2)      /* DXLoadVehicleForm: no stem or form id outside 1..100 */
#define DX_ERROR_FORM_NOT_READY (-3)     /* DXLoadVehicleForm: library not initialised */
#define DX_ERROR_FORM_COUNT (-4)         /* DXLoadVehicleForm: a count larger than its file can hold */

/* view: a DXView, kept (see above). The frame has the view's size, or a fixed
 * width x height when either is non-zero. Returns DX_OK, DX_ERROR_VIEW, DX_ERROR_NO_DEVICE,
 * DX_ERROR_SHADERS or DX_ERROR_FRAME_TARGET; on failure nothing is kept. */
int32_t DXInitialize(void* view, int32_t width, int32_t height);
/* Releases the context, surfaces, textures and forms; DXInitialize may follow. */
void DXTerminate(void);
int32_t DXLoadVehicleForm(const char* stem, int32_t formId, float switchDistance);
int32_t DXLoadTexture(const char* fileName, float scale);
int32_t DXAddSurface(const DXSurface* surface, int32_t vertexCount);
int32_t DXRemoveSurface(int32_t surfaceId);
int32_t DXGetNumOfVertexBufs(void);
/* vehicles: array of pointers to records, ended by a null pointer. The records
 * are the program's vehicle state records; only the leading fields above are read. */
int32_t DXDraw(float fieldOfView, uint32_t clearColour, const void* camera,
               const void* const* vehicles);
/* DXDraw also returns DX_ERROR_VIEW when the view's size has become one it
 * cannot draw (it then draws nothing), and DX_ERROR_FRAME_TARGET when the
 * target of a new size cannot be made. */

/* Pointer types of the exports, for binding them by name. */
typedef int32_t (*DXInitializeFn)(void*, int32_t, int32_t);
typedef void (*DXTerminateFn)(void);
typedef int32_t (*DXLoadVehicleFormFn)(const char*, int32_t, float);
typedef int32_t (*DXLoadTextureFn)(const char*, float);
typedef int32_t (*DXAddSurfaceFn)(const DXSurface*, int32_t);
typedef int32_t (*DXRemoveSurfaceFn)(int32_t);
typedef int32_t (*DXGetNumOfVertexBufsFn)(void);
typedef int32_t (*DXDrawFn)(float, uint32_t, const void*, const void* const*);

#ifdef __cplusplus
}
#endif

#endif /* PRISMOTH_H */
