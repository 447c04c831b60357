// <winddi.h> includes this header, but none of its declarations use the
// Direct3D records it would hold; it is empty on purpose.
#ifndef TEXTRELAY_D3DNTHAL_H
#define TEXTRELAY_D3DNTHAL_H
#endif
