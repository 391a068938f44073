#include "refdata/reset.h"

#include "refdata/airport_refs.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "refdata/packages.h"

namespace vdl {

void gf_resetRefdata() {
    gf_clearRefdataHooks();
    gf_restoreDownloadSettings();
    gf_clearAirportRefs();
    gf_forgetCommunityPath();
    gf_forgetDbaseSets();
}

}  // namespace vdl
