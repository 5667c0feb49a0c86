#include "app/lab/body_readings.h"

#include <algorithm>
#include <cmath>

namespace plumfold {

BodyReadings readBody(const PressureBody& body, size_t points, size_t springs) {
    BodyReadings readings;
    const Vector3& g = body.gravity;
    for (size_t i = 0; i < points && i < body.points.size(); ++i) {
        const MassPoint& p = body.points[i];
        readings.kinetic += 0.5 * p.mass * p.velocity.dot(p.velocity);
        Vector3 height{p.position.x, static_cast<float>(p.position.y + boxLimit), p.position.z};
        readings.gravitational -= p.mass * g.dot(height);
    }
    bool first = true;
    for (size_t i = 0; i < springs && i < body.springs.size(); ++i) {
        const Spring& s = body.springs[i];
        Vector3 d = body.points[s.pointA].position - body.points[s.pointB].position;
        double stretch = std::sqrt(d.dot(d)) - s.restLength;
        readings.elastic += 0.5 * s.stiffness * stretch * stretch;
        if (s.restLength <= 0) continue;
        double strain = stretch / s.restLength;
        readings.leastStrain = first ? strain : std::min(readings.leastStrain, strain);
        readings.greatestStrain = first ? strain : std::max(readings.greatestStrain, strain);
        first = false;
    }
    return readings;
}

std::string watchBody(const PressureBody& body, size_t points, float& lastVolume) {
    float volume = body.volume;
    if (!std::isfinite(volume)) return "the volume is no longer a finite number";
    if (volume != 0.0f) {
        bool flipped = lastVolume != 0.0f && (volume < 0) != (lastVolume < 0);
        lastVolume = volume;
        if (flipped) return "the volume changed sign: the body turned inside out";
    }
    // The stretch limit may move a point a hair past a wall after the walls
    // have placed it; only more than that counts as leaving.
    const double limit = boxLimit + 0.01;
    for (size_t i = 0; i < points && i < body.points.size(); ++i) {
        const MassPoint& p = body.points[i];
        const Vector3& x = p.position;
        const Vector3& v = p.velocity;
        for (float c : {x.x, x.y, x.z, v.x, v.y, v.z})
            if (!std::isfinite(c))
                return "point " + std::to_string(i) + " has a position or velocity that is not finite";
        if (std::fabs(x.x) > limit || std::fabs(x.z) > limit || x.y < -limit)
            return "point " + std::to_string(i) + " left the box";
    }
    return "";
}

}  // namespace plumfold
