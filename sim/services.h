// The controller's process and maintenance services that keep a little state
// of their own: force sensor readings, conveyor encoders, trajectory replay in
// debug mode, multi-robot calibration, the mounting computation, trajectory
// checks and the vision system. Each member answers one endpoint (see
// apiroutes.cpp); all are safe to call from several server threads.
#pragma once

#include "kinematics.h"

#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <random>

#include <nlohmann/json.hpp>

namespace varlosim {

class DocumentStore;
class Robot;

class Services
{
public:
    using json = nlohmann::json;

    Services(Robot &robot, DocumentStore &store);

    json forceData();
    json forceHome();
    json listenSensor(const json &body);
    // The encoder count now, or (latched) when the last part passed the sensor.
    json readEncoder(const json &body, bool latched);
    json startReplay(const json &body);
    json replayState();
    json setReplayParams(const json &body);
    json multiCalibration(const json &body);
    json multiCalibrationState();
    json calcInstall(const json &body);
    json checkTrajectory(const json &body);
    json visionCoordinate(const json &body);

private:
    using Clock = std::chrono::steady_clock;
    struct Conveyor { bool listening = false; Clock::time_point since = Clock::now(); };

    std::array<double, 6> rawForceLocked();

    Robot &m_robot;
    DocumentStore &m_store;
    std::mutex m_lock;
    std::mt19937 m_noise{7u};
    std::array<double, 6> m_forceOffset{};
    std::map<int, Conveyor> m_conveyors;
    bool m_replayRunning = false;
    int m_replayLoops = 0;
    Clock::time_point m_replayStart = Clock::now();
    int m_multiCalibrationState = 0;   // 0 never run, 1 done, -1 refused
};

} // namespace varlosim
