#pragma once

namespace vdl {

// Every hook through which a lower library calls up, set once at start-up: the link's notices
// to the traffic manager, the user state the feed sends, the exit procedure.
void gf_installRunHooks();

}  // namespace vdl
