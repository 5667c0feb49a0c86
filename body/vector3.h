#pragma once
// Three-component vector of 32-bit floats. Every result component is formed in
// double precision and rounded to float where it is stored; the rounding of each
// operation is part of the simulation's reproducible trajectories.
#include <cmath>

namespace plumfold {

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    // Summed z, y, x in double: that order fixes the rounding of every length.
    double dot(const Vector3& b) const {
        return static_cast<double>(z) * b.z + static_cast<double>(y) * b.y + static_cast<double>(x) * b.x;
    }

    Vector3 cross(const Vector3& b) const {
        return {static_cast<float>(static_cast<double>(y) * b.z - static_cast<double>(z) * b.y),
                static_cast<float>(static_cast<double>(z) * b.x - static_cast<double>(x) * b.z),
                static_cast<float>(static_cast<double>(x) * b.y - static_cast<double>(y) * b.x)};
    }

    // Scales by the float reciprocal of the length, not by division; a zero (or
    // not-a-number) length leaves the vector unchanged, and so does a length so
    // small (below about 3e-39) that its reciprocal is no float.
    void normalize() {
        double length = std::sqrt(dot(*this));
        if (length == 0.0 || std::isnan(length)) return;
        float reciprocal = static_cast<float>(1.0 / length);
        if (std::isinf(reciprocal)) return;
        x = static_cast<float>(static_cast<double>(x) * reciprocal);
        y = static_cast<float>(static_cast<double>(y) * reciprocal);
        z = static_cast<float>(static_cast<double>(z) * reciprocal);
    }
};

inline Vector3 operator+(const Vector3& a, const Vector3& b) {
    return {static_cast<float>(static_cast<double>(a.x) + b.x), static_cast<float>(static_cast<double>(a.y) + b.y),
            static_cast<float>(static_cast<double>(a.z) + b.z)};
}

inline Vector3 operator-(const Vector3& a, const Vector3& b) {
    return {static_cast<float>(static_cast<double>(a.x) - b.x), static_cast<float>(static_cast<double>(a.y) - b.y),
            static_cast<float>(static_cast<double>(a.z) - b.z)};
}

inline Vector3 operator*(const Vector3& a, float s) {
    return {static_cast<float>(static_cast<double>(a.x) * s), static_cast<float>(static_cast<double>(a.y) * s),
            static_cast<float>(static_cast<double>(a.z) * s)};
}

inline Vector3 operator*(float s, const Vector3& a) { return a * s; }

inline bool operator==(const Vector3& a, const Vector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

}  // namespace plumfold
