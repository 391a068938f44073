#pragma once

namespace vdl {

// The reference data's one reset: every loaded data base set, the airport list and names, the
// Community folder, the hooks and waiting scan-log lines forgotten, the server base and the
// download timeouts back to their defaults. The program keeps all of these between runs (the
// data base is loaded once at start-up); tests call it.
void gf_resetRefdata();

}  // namespace vdl
