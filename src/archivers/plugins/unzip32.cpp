// Exports of libunzip32.so: the common archiver calls for the Zip format.
#include "api_exports.h"

MERVOK_DEFINE_ARCHIVER_API(UnZip, mervok::plugin::Format::Zip)
