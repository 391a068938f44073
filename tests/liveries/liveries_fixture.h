// The livery tests' set-up lives in support/data_env.h.
#pragma once

#include "support/data_env.h"
