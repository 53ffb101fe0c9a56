/* A stand-in for a self-extractor's executable part: a real PE file whose
 * sections take PAD_SIZE bytes and more, so that an archive appended to it
 * sits in the overlay at that distance. Like a real extractor it carries the
 * signatures it looks for; they must not be taken for an archive. */
#include <windows.h>

#ifndef PAD_SIZE
#define PAD_SIZE 1
#endif

static const char kSignatures[] = "-lh0- -lh5- -lh6- -lh7- -lhd- MSCF PK\005\006 PK\003\004";
static const unsigned char kPad[PAD_SIZE] = {1};

void Start(void) {
    volatile const char* s = kSignatures;
    volatile const unsigned char* p = kPad;
    ExitProcess((UINT)(s[3] + p[PAD_SIZE - 1]));
}
