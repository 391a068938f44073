#include "simulator/stand_in_user_script.h"

#include <algorithm>
#include <cmath>

#include "foundation/units.h"

namespace vdl {

namespace {

double lf_lerp(double a, double b, double f) {
    return a + (b - a) * f;
}

// The short way round, into [0, 2pi).
double lf_lerpAngle(double a, double b, double f) {
    const double d = std::remainder(b - a, 2.0 * pi);
    double r = a + d * f;
    r = std::fmod(r, 2.0 * pi);
    return r < 0 ? r + 2.0 * pi : r;
}

}  // namespace

void UserScript::setKeyframes(std::vector<UserKeyframe> keyframes) {
    std::stable_sort(keyframes.begin(), keyframes.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    keyframes_ = std::move(keyframes);
}

void UserScript::place(StandInObject& user, double time) const {
    if (keyframes_.empty()) return;
    const auto& s = keyframes_;
    auto later = std::upper_bound(s.begin(), s.end(), time,
                                  [](double t, const UserKeyframe& k) { return t < k.time; });
    const UserKeyframe& a = later == s.begin() ? s.front() : *(later - 1);
    const UserKeyframe& b = later == s.end() ? a : *later;
    double f = 0.0;
    if (&a != &b && b.time > a.time) f = std::clamp((time - a.time) / (b.time - a.time), 0.0, 1.0);
    user.latitude = lf_lerp(a.latitude, b.latitude, f);
    user.longitude = lf_lerp(a.longitude, b.longitude, f);
    user.altitude = lf_lerp(a.altitude, b.altitude, f);
    user.pitch = lf_lerp(a.pitch, b.pitch, f);
    user.bank = lf_lerp(a.bank, b.bank, f);
    user.heading = lf_lerpAngle(a.heading, b.heading, f);
    user.groundSpeed = lf_lerp(a.groundSpeed, b.groundSpeed, f);
    user.userOnGround = a.onGround;
    user.lights = a.lights;
}

}  // namespace vdl
