// The module that holds LibsecretStore, loaded by the program the first time the seam is used.
#include "platform/libsecret/LibsecretStore.h"

extern "C" Q_DECL_EXPORT SecretStore* quillbay_make_secret_store() {
    return new LibsecretStore();
}
