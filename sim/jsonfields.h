// Reading the fields of request bodies and writing the numbers of answers: the
// one place where VarloSim decides what a valid value looks like. A field that
// is missing, of the wrong type or not finite reads as absent and leaves the
// caller's value alone.
#pragma once

#include "kinematics.h"

#include <array>
#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace varlosim {

using nlohmann::json;

bool readNumber(const json &o, const char *key, double &out);
// A whole number within the 32-bit range.
bool readInt(const json &o, const char *key, int &out);
// Booleans arrive as JSON booleans, as 0/1 or as the texts "true"/"false".
bool readFlag(const json &o, const char *key, bool &out);
bool readString(const json &o, const char *key, std::string &out);

// Up to N finite numbers of an array; false (and `out` unchanged) unless at
// least `needed` are there and all of them are finite numbers.
template <std::size_t N>
bool readArray(const json &o, const char *key, std::array<double, N> &out, std::size_t needed)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end() || !it->is_array() || it->size() < needed)
        return false;
    std::array<double, N> values = out;
    for (std::size_t i = 0; i < N && i < it->size(); ++i) {
        const json &e = (*it)[i];
        if (!e.is_number() || !std::isfinite(e.get<double>()))
            return false;
        values[i] = e.get<double>();
    }
    out = values;
    return true;
}

// What a Cartesian request says about its frames and the arm configuration.
struct TargetFrames
{
    int tool = 0;
    int user = 0;
    ConfigRequest config;
};

// Reads "tool" and "user" (0 to 9; missing ones keep `frames`' values) and,
// when "cfg" is not 0, the configuration to keep: "r", "d", "n" for the 6-axis
// arm and the hand for the SCARA. The hand is the request's "armOrientation"
// ("left" is the left arm, any other text the right one, as the host's target
// record says: 0 left, any other value right); a request without it (the
// inverse solution carries only r, d, n and cfg) names the hand by "r" the way
// the live state reports it: 0 right, 1 left. False with `error` set when a
// frame number is out of range.
bool readTargetFrames(const json &body, TargetFrames &frames, std::string &error);

// A number as VarloSim reports it: four decimals, never "-0".
double reported(double v);

template <std::size_t N>
json reportedArray(const std::array<double, N> &values)
{
    json a = json::array();
    for (double v : values)
        a.push_back(reported(v));
    return a;
}

// Channels packed eight to an integer, channel k in bit k mod 8 of integer k / 8.
json packBits(const bool *bits, std::size_t count);
// Sets the channels of the integers that are present and valid (0 to 255).
void unpackBits(const json &values, bool *bits, std::size_t count);

// The answer of a refused request.
inline json refusal(const std::string &why) { return json{{"result", false}, {"error", why}}; }

} // namespace varlosim
