#pragma once
// The scripted flight of the stand-in's user aircraft. Not locked itself: SimStandIn guards it
// with its worldMutex.
#include <vector>

#include "simulator/stand_in_types.h"

namespace vdl {

class UserScript {
  public:
    void setKeyframes(std::vector<UserKeyframe> keyframes);  // any order
    // Puts the user aircraft where the script has it at `time`: before the first key frame at
    // the first, after the last at the last. Leaves it alone when there is no script.
    void place(StandInObject& user, double time) const;

  private:
    std::vector<UserKeyframe> keyframes_;  // by time
};

}  // namespace vdl
