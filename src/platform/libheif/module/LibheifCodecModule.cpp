// The module that holds LibheifCodec, loaded by the program the first time a HEIF image is read or written.
#include "platform/libheif/LibheifCodec.h"

extern "C" Q_DECL_EXPORT HeifCodec* quillbay_make_heif_codec() {
    return new LibheifCodec();
}
