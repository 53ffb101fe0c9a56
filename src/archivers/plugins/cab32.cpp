// Exports of libcab32.so: the common archiver calls for the Cab format.
#include "api_exports.h"

MERVOK_DEFINE_ARCHIVER_API(Cab, mervok::plugin::Format::Cab)
