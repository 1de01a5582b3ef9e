// The simulated arm and its controller state: control mode, power, panel,
// alarms, IO, the motion queue, jogging, and the live values that the state
// exchange reports. Its members are defined by concern: robot.cpp (settings,
// the ticker, safety state), motion.cpp (motions, jogging, solutions),
// exchange.cpp (the state exchange), teachpanel.cpp (pendant elements) and
// io.cpp (inputs, outputs and simulated surroundings).
//
// One lock guards everything; the HTTP handlers call in from the server
// threads, and a ticker thread advances the simulation every 10 ms.
#pragma once

#include "jsonfields.h"
#include "kinematics.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

namespace varlosim {

class DocumentStore;

// The lock of the robot's state, counting the times it was released: every
// holder may have changed the state, so a text made from the state stays good
// while the count stands still. Readers that know they change nothing take it
// "quietly", without moving the count.
class StateLock
{
public:
    void lock() { m_mutex.lock(); }
    void unlock()
    {
        ++m_version;
        m_mutex.unlock();
    }
    bool try_lock() { return m_mutex.try_lock(); }
    void lockQuietly() { m_mutex.lock(); }
    void unlockQuietly() { m_mutex.unlock(); }
    // Holds the lock quietly for a scope.
    struct Quiet
    {
        explicit Quiet(StateLock &lock) : m_lock(lock) { m_lock.lockQuietly(); }
        ~Quiet() { m_lock.unlockQuietly(); }
        StateLock &m_lock;
    };
    // Read and bumped only while the lock is held.
    std::uint64_t version() const { return m_version; }
    void bump() { ++m_version; }

private:
    std::mutex m_mutex;
    std::uint64_t m_version = 0;
};

enum class MotionKind { Go, MoveJ, GoR, MoveR, AuxGo, GoHome, Inch, Count };

class Robot
{
public:
    using json = nlohmann::json;

    Robot(DocumentStore &store, std::unique_ptr<Kinematics> model, std::string address);
    ~Robot();

    void start();
    void stop();
    // How often the simulation advances while the arm neither moves nor jogs
    // (10 ms, as while it does, unless set before start()). A lab of many
    // arms lets its quiet arms advance less often; a motion or jog asked for
    // meanwhile starts at the next advance.
    void setQuietTickMs(int ms) { m_quietTickMs = ms; }

    int axes() const { return m_model->axes(); }

    // Re-reads the settings documents that shape the motion (speed ratio,
    // speeds, frames, limits). Called at start and whenever a document changes.
    void reloadSettings();

    // "/protocol/exchange": the live state as JSON text; a POST body applies
    // the requested values first. Returns false with an error text for a
    // malformed body.
    // `connection` names the client's TCP connection: each client's own echo
    // of its control mode is told apart from the others'.
    bool exchange(const json *request, std::string &reply, std::string &error,
                  const std::string &connection = std::string());

    // The live state for the panel page: the exchange's values, the active
    // alarms as a list, the points of the arm's links and the tool and user
    // frames in the base frame.
    json panelSnapshot();
    // "alarms": true of an exchange body, for the panel's clear button.
    json clearAlarms();

    json connectionState();
    json version();

    // Panel elements.
    json panelAutoManual(const json &body);
    json panelThreeSwitch(const json &body);
    json panelEmergencyStop(const json &body);
    json panelJog(const json &body, bool auxiliary);
    json panelState(const std::string &element);

    json setControlMode(const json &body);
    json controlMode();
    json setPower(const json &body);
    json power();

    // Motion commands and their status queries.
    json command(MotionKind kind, const json &body);
    json motionStatus(MotionKind kind);

    json positiveSolution(const json &body);
    json inverseSolution(const json &body);

    json setManualCommon(const json &body);
    json manualCommon();

    json resetCollision();
    json resetElecSkin();
    json setJointBrakes(const json &body);
    json jointBrakes();
    json setDynamicBrake(const json &body);

    json setDIMode(const json &body);
    json getDIMode(const json &body);
    json setDIValue(const json &body);
    json setExtendIO(const json &body);
    // Digital IO as a project's script sees it (channels 0 to 63; others
    // read false and are not written).
    bool digitalInput(int index);
    bool digitalOutput(int index);
    void setDigitalOutput(int index, bool value);

    // Simulation controls that a real controller gets from its surroundings:
    // inputs, analog values, a collision, an alarm of a drive.
    json simInputs(const json *body);
    json simCollision(const json &body);
    json simAlarm(const json &body);

    // Operating-time counters ("/settings/workTimeRec"): time since the
    // counters were cleared with the arm powered, and with the servos on.
    json workTime();
    json clearWorkTime();
    // The flange pose in the base frame, x, y, z, a, b, c.
    Pose flangePose();

private:
    struct Frame { bool enable = false; Pose params{}; };
    struct Settings
    {
        double ratio = 50.0;          // percent, playback speed
        std::array<double, 6> teachJointVel{}, teachJointAcc{};
        std::array<double, 6> teachCoorVel{}, teachCoorAcc{};
        std::array<double, 6> playJointVel{}, playJointAcc{};
        std::array<double, 2> playCoorVel{}, playCoorAcc{};
        std::array<double, 3> auxTeachVel{}, auxPlayVel{}, auxPlayAcc{};
        double inchDistance = 1.0;
        double inchAngle = 1.0;
        std::array<Frame, 10> tools{}, users{};
    };
    struct Motion
    {
        std::uint64_t id = 0;
        MotionKind kind = MotionKind::Go;
        bool linear = false;
        Joints target{};                 // joint path: target joints
        Eigen::Isometry3d targetFlange = Eigen::Isometry3d::Identity();
        std::array<double, 3> auxTarget{};
        // Filled when the motion starts.
        bool started = false;
        Joints start{};
        Eigen::Isometry3d startFlange = Eigen::Isometry3d::Identity();
        std::array<double, 3> auxStart{};
        double duration = 0.0;
        double elapsed = 0.0;
    };
    struct MotionStatus { std::uint64_t id = 0; bool ended = true; bool alarmed = false; };

    void tickLoop();
    void advance(double dt);
    void advanceMotion(double dt);
    void advanceJog(double dt);
    void advanceSignals(double dt);

    // The live state without its three large blocks, which bigBlocksLocked()
    // gives as JSON text (",\"alarms\":[...],...") from a cache that is rebuilt
    // only when they change: clients poll the exchange several times a second
    // and most of its bytes are these blocks, nearly always the same.
    json stateLocked() const;
    // Applies what an exchange body asks for; true when that changed the state.
    bool applyExchangeLocked(const json &request, const std::string &connection);
    const std::string &bigBlocksLocked() const;
    bool canMoveLocked(std::string &why) const;
    json refuseLocked(MotionKind kind, std::uint64_t id, const std::string &why);
    json stopMotionsLocked();
    void finishMotionLocked(const Motion &motion, bool alarmed);
    void abortAllLocked(bool alarmed);
    void stopJogLocked();
    void disableLocked();
    void raiseAlarmLocked(int group, int id);
    void clearAlarmsLocked();
    bool anyAlarmLocked() const;
    void applyControlModeLocked(const std::string &mode, std::string *why);

    Eigen::Isometry3d frameLocked(const std::array<Frame, 10> &table, int index) const;
    // The frames and configuration of a Cartesian request; the present tool
    // and user unless it names others.
    bool readFramesLocked(const json &body, TargetFrames &frames, std::string &error) const;
    // The flange pose that puts the request's tool on `target` in its user frame.
    Eigen::Isometry3d targetFlangeLocked(const Pose &target, const TargetFrames &frames) const;
    Pose tcpPoseLocked(const Joints &q) const;
    Joints plannedEndLocked() const;
    bool startMotionLocked(Motion &motion);
    double jointDurationLocked(const Joints &from, const Joints &to, const std::array<double, 6> &vel,
                               const std::array<double, 6> &acc, double ratio) const;

    DocumentStore &m_store;
    std::unique_ptr<Kinematics> m_model;
    std::string m_address;

    mutable StateLock m_lock;
    std::condition_variable_any m_wake;
    std::thread m_ticker;
    bool m_running = false;
    int m_quietTickMs = 10;

    Settings m_settings;

    // Controller state.
    std::string m_controlMode = "disable";      // disable, enable, drag
    std::string m_lastExchangeControlMode;      // what the exchange body carried last
    // ... and on each connection (bounded).
    std::map<std::string, std::string> m_connectionControlModes;
    bool m_power = true;
    bool m_auto = false;
    bool m_threeSwitch = false;
    bool m_emergencyStop = false;
    bool m_collision = false;
    bool m_skinCollision = false;
    std::string m_coordinate = "joint";         // joint, cartesian, tool
    std::string m_jogMode = "jog";              // jog, step
    int m_tool = 0;
    int m_user = 0;
    double m_manualRatio = 50.0;
    std::array<bool, 6> m_brakes{};
    bool m_dynamicBrake = false;
    std::map<int, std::set<int>> m_alarms;      // group -> alarm numbers
    std::map<int, int> m_diModes;

    // IO.
    std::array<bool, 64> m_inputs{};
    std::array<bool, 64> m_outputs{};
    std::array<std::array<bool, 96>, 9> m_extendDI{};
    std::array<std::array<bool, 96>, 9> m_extendDO{};
    std::array<double, 2> m_endAI{};
    std::array<double, 2> m_gpioAI{};

    // Arm.
    Joints m_joints{};
    Joints m_velocity{};
    std::array<double, 3> m_aux{};
    std::array<double, 7> m_current{};
    std::array<double, 6> m_voltage{};
    std::array<double, 6> m_temperature{};
    double m_cabinetTemperature = 32.0;
    double m_powerOnSeconds = 0.0;
    double m_servoOnSeconds = 0.0;

    // Motion.
    std::deque<Motion> m_queue;                 // front is the running one
    std::uint64_t m_nextMotionId = 1;
    std::array<MotionStatus, static_cast<int>(MotionKind::Count)> m_status{};

    // Jog.
    std::array<int, 6> m_jog{};                 // -1, 0, +1 per axis
    std::array<int, 3> m_auxJog{};

    std::mt19937 m_noise{20240611u};

    // Cache of bigBlocksLocked(): the values it was made from and its text.
    struct BlockCache
    {
        bool valid = false;
        std::array<std::array<std::uint32_t, 64>, 7> alarms{};
        std::array<std::array<bool, 96>, 9> extendDO{};
        std::array<std::array<bool, 96>, 9> extendDI{};
        std::string text;
    };
    mutable BlockCache m_blocks;

    // The last exchange reply and the lock version it was made at: polls
    // between two changes of the state (most of them: the state changes at
    // each 10 ms tick) get the same text without building it again.
    struct ReplyCache
    {
        bool valid = false;
        std::uint64_t version = 0;
        std::string text;
    };
    ReplyCache m_reply;
};

} // namespace varlosim
