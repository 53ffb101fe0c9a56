/* The public header must compile as plain C, and the entry record must keep
 * the layout every caller of the API expects. */
#include <stddef.h>

#include "archiver.h"

_Static_assert(offsetof(INDIVIDUALINFO, wRatio) == 20, "five 32-bit numbers first");
_Static_assert(offsetof(INDIVIDUALINFO, szFileName) == 26, "three 16-bit numbers next");
_Static_assert(offsetof(INDIVIDUALINFO, szAttribute) == 542, "name and filler");
_Static_assert(offsetof(INDIVIDUALINFO, szMode) == 550, "attributes");

/* Function types as a C caller would spell them when binding by name. */
typedef HARC(ARCHIVER_CALL* OpenArchiveCall)(void*, const char*, uint32_t);
typedef int(ARCHIVER_CALL* FindFirstCall)(HARC, const char*, INDIVIDUALINFO*);

_Static_assert(sizeof(OpenArchiveCall) == sizeof(void*), "a plain function pointer");
_Static_assert(sizeof(FindFirstCall) == sizeof(void*), "a plain function pointer");
