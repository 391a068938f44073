#include "simulator/stand_in_vars.h"

#include <array>
#include <cctype>
#include <cmath>
#include <ctime>

#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/units.h"

namespace vdl {

namespace {

constexpr double secondsPerDay = 86400.0;
constexpr double fractionPerPercent = 0.01;
constexpr int tmYearBase = 1900;  // std::tm counts years from here and months from 0

constexpr std::size_t varCount = static_cast<std::size_t>(SimVar::Count);

constexpr std::array<SimVarSpec, varCount> varTable{{
    {"PLANE LATITUDE", SimVarDim::Angle, true},
    {"PLANE LONGITUDE", SimVarDim::Angle, true},
    {"PLANE ALTITUDE", SimVarDim::Length, true},
    {"PLANE PITCH DEGREES", SimVarDim::Angle, true},
    {"PLANE BANK DEGREES", SimVarDim::Angle, true},
    {"PLANE HEADING DEGREES TRUE", SimVarDim::Angle, true},
    {"VERTICAL SPEED", SimVarDim::Speed, true},
    {"AIRSPEED TRUE", SimVarDim::Speed, true},
    {"GROUND VELOCITY", SimVarDim::Speed, false},
    {"SIM ON GROUND", SimVarDim::Plain, false},
    {"GROUND ALTITUDE", SimVarDim::Length, false},
    {"PLANE ALT ABOVE GROUND", SimVarDim::Length, false},
    {"STATIC CG TO GROUND", SimVarDim::Length, false},
    {"STATIC PITCH", SimVarDim::Angle, false},
    {"SPOILERS HANDLE POSITION", SimVarDim::Percent, true},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", SimVarDim::Percent, true},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", SimVarDim::Percent, true},
    {"LIGHT NAV", SimVarDim::Plain, false},
    {"LIGHT BEACON", SimVarDim::Plain, false},
    {"LIGHT LANDING", SimVarDim::Plain, false},
    {"LIGHT TAXI", SimVarDim::Plain, false},
    {"LIGHT STROBE", SimVarDim::Plain, false},
    {"LIGHT LOGO", SimVarDim::Plain, false},
    {"LIGHT CABIN", SimVarDim::Plain, false},
    {"ZULU TIME", SimVarDim::Time, false},
    {"ZULU DAY OF MONTH", SimVarDim::Plain, false},
    {"ZULU MONTH OF YEAR", SimVarDim::Plain, false},
    {"ZULU YEAR", SimVarDim::Plain, false},
    {"ATC ID", SimVarDim::Text, false},
    {"TITLE", SimVarDim::Text, false},
}};

// Speeds are kept in knots on the objects and in feet per second as variables.
double lf_ktToFps(double kt) {
    return metresToFeet(ktToMps(kt));
}
double lf_fpsToKt(double fps) {
    return mpsToKt(feetToMetres(fps));
}

std::string lf_lower(std::string_view s) {
    std::string r(s);
    for (auto& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

std::tm lf_utcDate(double utcSeconds) {
    return gf_utcCalendar(static_cast<int64_t>(std::floor(utcSeconds)));
}

}  // namespace

const SimVarSpec& gf_simVarSpec(SimVar var) {
    return varTable[static_cast<std::size_t>(var)];
}

std::optional<SimVar> gf_findSimVar(std::string_view name) {
    const std::string upper = gf_toUpper(name);
    for (std::size_t i = 0; i < varCount; ++i)
        if (varTable[i].name == upper) return static_cast<SimVar>(i);
    return std::nullopt;
}

std::optional<double> gf_simVarUnitScale(SimVarDim dim, std::string_view unitsName) {
    const std::string u = lf_lower(unitsName);
    switch (dim) {
        case SimVarDim::Angle:
            if (u == "radians" || u == "radian") return 1.0;
            if (u == "degrees" || u == "degree") return radToDeg(1.0);
            break;
        case SimVarDim::Length:
            if (u == "feet" || u == "foot" || u == "ft") return 1.0;
            if (u == "meters" || u == "meter" || u == "metres" || u == "m") return feetToMetres(1.0);
            break;
        case SimVarDim::Speed:
            if (u == "feet per second") return 1.0;
            if (u == "feet per minute") return fpsToFpm(1.0);
            if (u == "knots" || u == "knot") return lf_fpsToKt(1.0);
            if (u == "meters per second") return feetToMetres(1.0);
            break;
        case SimVarDim::Percent:
            if (u == "percent") return 1.0;
            if (u == "percent over 100") return fractionPerPercent;
            break;
        case SimVarDim::Plain:
            if (u == "bool" || u == "number" || u == "enum" || u.empty()) return 1.0;
            break;
        case SimVarDim::Time:
            if (u == "seconds" || u == "second") return 1.0;
            break;
        case SimVarDim::Text:
            return 1.0;
    }
    return std::nullopt;
}

double gf_simVarValue(const StandInObject& o, SimVar var, const SimVarContext& context) {
    const StandInWorld& world = context.world;
    switch (var) {
        case SimVar::Latitude:
            return degToRad(o.latitude);
        case SimVar::Longitude:
            return degToRad(o.longitude);
        case SimVar::Altitude:
            return o.altitude;
        case SimVar::Pitch:
            return o.pitch;
        case SimVar::Bank:
            return o.bank;
        case SimVar::Heading:
            return o.heading;
        case SimVar::VerticalSpeed:
            return o.verticalSpeed;
        case SimVar::TrueAirspeed:
            return lf_ktToFps(o.trueAirspeed);
        case SimVar::GroundVelocity:
            return lf_ktToFps(o.groundSpeed);
        case SimVar::OnGround:
            return world.onGround(o) ? 1.0 : 0.0;
        case SimVar::GroundAltitude:
            return world.elevationAt(o.latitude, o.longitude);
        case SimVar::AltAboveGround:
            return o.altitude - world.elevationAt(o.latitude, o.longitude);
        case SimVar::StaticCg:
            return world.titleInfo(o.title).staticCgHeight;
        case SimVar::StaticPitch:
            return world.titleInfo(o.title).staticPitch;
        case SimVar::SpoilersHandle:
            return o.spoilersHandle;
        case SimVar::Throttle1:
            return o.throttleLever1;
        case SimVar::Throttle2:
            return o.throttleLever2;
        case SimVar::LightNav:
            return o.lights.nav;
        case SimVar::LightBeacon:
            return o.lights.beacon;
        case SimVar::LightLanding:
            return o.lights.landing;
        case SimVar::LightTaxi:
            return o.lights.taxi;
        case SimVar::LightStrobe:
            return o.lights.strobe;
        case SimVar::LightLogo:
            return o.lights.logo;
        case SimVar::LightCabin:
            return o.lights.cabin;
        case SimVar::ZuluTime: {
            const double t = std::fmod(context.utcSeconds, secondsPerDay);
            return t < 0 ? t + secondsPerDay : t;
        }
        case SimVar::ZuluDay:
            return lf_utcDate(context.utcSeconds).tm_mday;
        case SimVar::ZuluMonth:
            return lf_utcDate(context.utcSeconds).tm_mon + 1;
        case SimVar::ZuluYear:
            return lf_utcDate(context.utcSeconds).tm_year + tmYearBase;
        default:
            return 0.0;
    }
}

std::string gf_simVarText(const StandInObject& o, SimVar var) {
    if (var == SimVar::AtcId) return o.tailNumber;
    if (var == SimVar::Title) return o.title;
    return {};
}

std::vector<std::byte> gf_encodeSimData(const SimDefinition& definition, const StandInObject& o,
                                        const SimVarContext& context) {
    SimDataWriter w;
    for (const auto& d : definition) {
        if (gf_simDataTypeIsString(d.type)) {
            w.text(gf_simVarText(o, d.var), d.type);
            continue;
        }
        const double v = gf_simVarValue(o, d.var, context) * d.scale;
        switch (d.type) {
            case SimDataType::Int32:
                w.i32(static_cast<int32_t>(std::llround(v)));
                break;
            case SimDataType::Int64:
                w.i64(static_cast<int64_t>(std::llround(v)));
                break;
            case SimDataType::Float32:
                w.f32(static_cast<float>(v));
                break;
            default:
                w.f64(v);
                break;
        }
    }
    return std::move(w.bytes());
}

std::optional<std::vector<std::pair<SimVar, double>>> gf_decodeSimData(const SimDefinition& definition,
                                                                       const std::vector<std::byte>& block) {
    SimDataReader reader(block);
    std::vector<std::pair<SimVar, double>> values;
    for (const auto& d : definition) {
        if (!gf_simVarSpec(d.var).settable) return std::nullopt;
        double v = 0.0;
        switch (d.type) {
            case SimDataType::Int32:
                v = reader.i32();
                break;
            case SimDataType::Int64:
                v = static_cast<double>(reader.i64());
                break;
            case SimDataType::Float32:
                v = reader.f32();
                break;
            default:
                v = reader.f64();
                break;
        }
        values.emplace_back(d.var, v / d.scale);
    }
    return values;
}

bool gf_setSimVar(StandInObject& o, SimVar var, double value) {
    switch (var) {
        case SimVar::Latitude:
            o.latitude = radToDeg(value);
            return true;
        case SimVar::Longitude:
            o.longitude = radToDeg(value);
            return true;
        case SimVar::Altitude:
            o.altitude = value;
            return true;
        case SimVar::Pitch:
            o.pitch = value;
            return true;
        case SimVar::Bank:
            o.bank = value;
            return true;
        case SimVar::Heading:
            o.heading = value;
            return true;
        case SimVar::VerticalSpeed:
            o.verticalSpeed = value;
            return false;
        case SimVar::TrueAirspeed:
            o.trueAirspeed = lf_fpsToKt(value);
            return false;
        case SimVar::SpoilersHandle:
            o.spoilersHandle = value;
            return false;
        case SimVar::Throttle1:
            o.throttleLever1 = value;
            return false;
        case SimVar::Throttle2:
            o.throttleLever2 = value;
            return false;
        default:
            return false;
    }
}

}  // namespace vdl
