// <winddi.h> includes this header for the records of its DirectDraw entry
// points. A printer driver has none of those entry points, so their records
// stay incomplete: winddi.h only names them in pointer parameters.
#ifndef TEXTRELAY_DDRAWINT_H
#define TEXTRELAY_DDRAWINT_H

typedef struct _DD_CALLBACKS DD_CALLBACKS;
typedef struct _DD_SURFACECALLBACKS DD_SURFACECALLBACKS;
typedef struct _DD_PALETTECALLBACKS DD_PALETTECALLBACKS;
typedef struct _DD_HALINFO DD_HALINFO;
typedef struct _VIDEOMEMORY VIDEOMEMORY;
typedef struct _DD_DIRECTDRAW_GLOBAL DD_DIRECTDRAW_GLOBAL;
typedef struct _DD_SURFACE_LOCAL DD_SURFACE_LOCAL, *PDD_SURFACE_LOCAL;

#endif
