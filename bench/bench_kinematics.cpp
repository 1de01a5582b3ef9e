// VarloSim's kinematics: inverse solutions per second for the 6-axis arm and
// the SCARA, and the round-trip error forward -> inverse -> forward over
// random joint vectors within the limits (position in mm, orientation in
// degrees), plus how often the inverse found no solution.
//
//     bench_kinematics [SAMPLES]        (default 200000 per model)
#include "kinematics.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace varlosim;

namespace {

// The angle between two orientations, in degrees.
double angleBetween(const Eigen::Isometry3d &a, const Eigen::Isometry3d &b)
{
    const Eigen::AngleAxisd difference(a.rotation().transpose() * b.rotation());
    return std::abs(difference.angle()) * 180.0 / kPi;
}

int run(int axes, int samples)
{
    const auto model = makeKinematics(axes);
    std::mt19937 random(axes);
    std::vector<Joints> joints(samples);
    std::vector<Eigen::Isometry3d> flanges(samples);
    for (int i = 0; i < samples; ++i) {
        for (int j = 0; j < 6; ++j) {
            // Away from the limits by 5 %, where a solution may be clamped.
            const Kinematics::Limit limit = model->limits()[j];
            const double span = limit.max - limit.min;
            joints[i][j] = j < axes ? std::uniform_real_distribution<double>(limit.min + 0.05 * span, limit.max - 0.05 * span)(random) : 0.0;
        }
        flanges[i] = model->forward(joints[i]);
    }

    std::vector<std::optional<Joints>> solved(samples);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < samples; ++i)
        solved[i] = model->inverse(flanges[i], joints[i]);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    double worstMm = 0, worstDeg = 0, sumMm = 0;
    int missing = 0;
    for (int i = 0; i < samples; ++i) {
        if (!solved[i]) {
            ++missing;
            continue;
        }
        const Eigen::Isometry3d back = model->forward(*solved[i]);
        const double mm = (back.translation() - flanges[i].translation()).norm();
        worstMm = std::max(worstMm, mm);
        worstDeg = std::max(worstDeg, angleBetween(back, flanges[i]));
        sumMm += mm;
    }
    std::printf("%s: inverse %.0f solves/s (%.2f us each); round trip error mean %.2e mm, max %.2e mm, "
                "max %.2e deg; no solution %d of %d\n",
                model->modelName().c_str(), samples / seconds, 1e6 * seconds / samples,
                sumMm / std::max(1, samples - missing), worstMm, worstDeg, missing, samples);
    return missing == samples ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
    return run(6, samples) | run(4, samples);
}
