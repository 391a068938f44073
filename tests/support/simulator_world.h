// A small stand-in world for tests of the simulator, the link and the traffic manager:
// one airport with flat ground, a user aircraft parked on it, a few installed titles.
#pragma once

#include <memory>
#include <vector>

#include "simlink/sim_layer.h"
#include "simulator/stand_in.h"

namespace vdl::test {

inline constexpr double worldAirportLat = 52.3086;
inline constexpr double worldAirportLon = 4.7639;
inline constexpr double worldAirportElevation = 100.0;  // ft
inline constexpr double worldTerrainElevation = 500.0;  // ft, away from the airport
inline constexpr double worldAirportRadiusNm = 3.0;

inline constexpr const char* worldTitleJet = "Boeing 737-800 KLM";
inline constexpr double worldJetCg = 9.5;
inline constexpr double worldJetPitch = 0.02;
inline constexpr const char* worldTitleProp = "Cessna 172 PVT";
inline constexpr double worldPropCg = 4.0;
inline constexpr double worldPropPitch = -0.01;

// Stepped stand-in at 30 frames per second, flight running, not yet connected.
inline std::shared_ptr<SimStandIn> makeWorld(bool startSim = true) {
    auto sim = std::make_shared<SimStandIn>();
    sim->setFrameRate(30.0);
    sim->setTerrainElevation(worldTerrainElevation);
    sim->addAirport(worldAirportLat, worldAirportLon, worldAirportRadiusNm, worldAirportElevation);
    sim->installTitle(worldTitleJet, {worldJetCg, worldJetPitch});
    sim->installTitle(worldTitleProp, {worldPropCg, worldPropPitch});
    UserKeyframe user;
    user.latitude = worldAirportLat;
    user.longitude = worldAirportLon;
    user.altitude = worldAirportElevation + 5.0;
    user.onGround = true;
    sim->setUserScript({user});
    if (startSim) sim->startSim();
    return sim;
}

// Makes SimConnect_Open connect to this stand-in.
inline void useWorld(const std::shared_ptr<SimStandIn>& sim) {
    gf_setSimBackendProvider([sim] { return std::static_pointer_cast<SimBackend>(sim); });
}

}  // namespace vdl::test
