#pragma once
// The stand-in's ground and hangar: terrain elevation with flat airports, and the titles the
// simulator has installed. Not locked itself: SimStandIn guards it with its worldMutex.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/stand_in_types.h"

namespace vdl {

class StandInWorld {
  public:
    void installTitle(std::string title, TitleInfo info);
    bool isInstalled(std::string_view title) const;
    // The title's figures; the defaults for a title that is not installed.
    const TitleInfo& titleInfo(std::string_view title) const;

    void setTerrainElevation(double feet);
    // Flat ground at the airport's elevation within radiusNm, blending into the
    // surrounding elevation over the next radiusNm.
    void addAirport(double latitude, double longitude, double radiusNm, double elevationFt);
    double elevationAt(double latitude, double longitude) const;  // ft

    // The user aircraft's scripted flag; an AI object is on the ground when its altitude is
    // within a foot of its title's static CG height above the terrain.
    bool onGround(const StandInObject& o) const;

  private:
    struct Airport {
        double latitude = 0.0;
        double longitude = 0.0;
        double radiusNm = 0.0;
        double elevationFt = 0.0;
    };

    std::map<std::string, TitleInfo, std::less<>> titles_;
    double terrainBaseFt_ = 0.0;
    std::vector<Airport> airports_;
};

}  // namespace vdl
