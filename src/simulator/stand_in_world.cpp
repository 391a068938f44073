#include "simulator/stand_in_world.h"

#include <algorithm>

#include "foundation/geo.h"

namespace vdl {

namespace {

constexpr double onGroundToleranceFt = 1.0;  // above the static CG height, still on the ground
constexpr double minAirportRadiusNm = 0.01;  // keeps the blend's division finite

}  // namespace

void StandInWorld::installTitle(std::string title, TitleInfo info) {
    titles_[std::move(title)] = info;
}

bool StandInWorld::isInstalled(std::string_view title) const {
    return titles_.find(title) != titles_.end();
}

const TitleInfo& StandInWorld::titleInfo(std::string_view title) const {
    static const TitleInfo defaults;
    auto it = titles_.find(title);
    return it == titles_.end() ? defaults : it->second;
}

void StandInWorld::setTerrainElevation(double feet) {
    terrainBaseFt_ = feet;
}

void StandInWorld::addAirport(double latitude, double longitude, double radiusNm, double elevationFt) {
    airports_.push_back({latitude, longitude, std::max(radiusNm, minAirportRadiusNm), elevationFt});
}

double StandInWorld::elevationAt(double latitude, double longitude) const {
    double elevation = terrainBaseFt_;
    for (const auto& a : airports_) {
        const double d = gf_distanceNm({latitude, longitude}, {a.latitude, a.longitude});
        double w = 0.0;
        if (d <= a.radiusNm)
            w = 1.0;
        else if (d < 2.0 * a.radiusNm)
            w = (2.0 * a.radiusNm - d) / a.radiusNm;
        if (w > 0.0) elevation = elevation * (1.0 - w) + a.elevationFt * w;
    }
    return elevation;
}

bool StandInWorld::onGround(const StandInObject& o) const {
    if (o.isUser) return o.userOnGround;
    return o.altitude - elevationAt(o.latitude, o.longitude) <=
           titleInfo(o.title).staticCgHeight + onGroundToleranceFt;
}

}  // namespace vdl
