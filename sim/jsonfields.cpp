#include "jsonfields.h"

#include <cmath>

namespace varlosim {

bool readNumber(const json &o, const char *key, double &out)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end() || !it->is_number())
        return false;
    const double v = it->get<double>();
    if (!std::isfinite(v))
        return false;
    out = v;
    return true;
}

bool readInt(const json &o, const char *key, int &out)
{
    double v = 0;
    if (!readNumber(o, key, v) || v != std::floor(v) || std::abs(v) > 2147483647.0)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool readFlag(const json &o, const char *key, bool &out)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end())
        return false;
    if (it->is_boolean()) {
        out = it->get<bool>();
        return true;
    }
    if (it->is_number_integer() || it->is_number_unsigned()) {
        const auto v = it->get<long long>();
        if (v != 0 && v != 1)
            return false;
        out = v == 1;
        return true;
    }
    if (it->is_string()) {
        const std::string s = it->get<std::string>();
        if (s == "true" || s == "false") {
            out = s == "true";
            return true;
        }
    }
    return false;
}

bool readString(const json &o, const char *key, std::string &out)
{
    if (!o.is_object())
        return false;
    const auto it = o.find(key);
    if (it == o.end() || !it->is_string())
        return false;
    out = it->get<std::string>();
    return true;
}

bool readTargetFrames(const json &body, TargetFrames &frames, std::string &error)
{
    readInt(body, "tool", frames.tool);
    readInt(body, "user", frames.user);
    if (frames.tool < 0 || frames.tool >= 10 || frames.user < 0 || frames.user >= 10) {
        error = "tool and user must be 0 to 9";
        return false;
    }
    int cfg = 0;
    readInt(body, "cfg", cfg);
    // A configuration is kept only when asked for; otherwise the solution
    // nearest to the present joints is taken.
    frames.config = ConfigRequest{};
    if (cfg == 0)
        return true;
    ArmConfig &c = frames.config.config;
    frames.config.strict = true;
    readInt(body, "r", c.r);
    readInt(body, "d", c.d);
    readInt(body, "n", c.n);
    std::string hand;
    if (readString(body, "armOrientation", hand))
        c.armOrientation = hand == "left" ? 0 : 1;
    else
        c.armOrientation = c.r == 0 ? 1 : 0;
    return true;
}

double reported(double v)
{
    const double r = std::round(v * 1e4) / 1e4;
    return r == 0.0 ? 0.0 : r;
}

json packBits(const bool *bits, std::size_t count)
{
    json a = json::array();
    for (std::size_t byte = 0; byte < count / 8; ++byte) {
        int v = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (bits[byte * 8 + bit])
                v |= 1 << bit;
        }
        a.push_back(v);
    }
    return a;
}

void unpackBits(const json &values, bool *bits, std::size_t count)
{
    if (!values.is_array())
        return;
    for (std::size_t byte = 0; byte < count / 8 && byte < values.size(); ++byte) {
        const json &e = values[byte];
        if (!e.is_number_integer() && !e.is_number_unsigned())
            continue;
        const long long v = e.get<long long>();
        if (v < 0 || v > 255)
            continue;
        for (int bit = 0; bit < 8; ++bit)
            bits[byte * 8 + bit] = (v >> bit) & 1;
    }
}

} // namespace varlosim
