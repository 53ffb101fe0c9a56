// Exports of libunlha32.so: the common archiver calls for the Lha format.
#include "api_exports.h"

MERVOK_DEFINE_ARCHIVER_API(Unlha, mervok::plugin::Format::Lha)
