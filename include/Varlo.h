/*
 * Varlo: client library for the controller of a four- or six-axis robot arm.
 *
 * The library talks to the controller by HTTP with JSON bodies (API on port
 * 22000 of the controller's address, file service on port 22001). Every
 * function below runs to completion in the caller's thread: it sends its
 * request, waits for the reply (or the end of a motion, or a time-out) in a
 * local event loop, and returns a small status code. While the library waits,
 * its own timers run in the same thread: connection supervision, the state
 * exchange about three times a second, and the host callbacks.
 *
 * Call every function from one thread, the one that called ConnectVarlo first.
 *
 * The header is usable from C and C++. Records have natural alignment of their
 * 4-byte fields unless stated otherwise; bool is one byte.
 */
#ifndef VARLO_H
#define VARLO_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#include <stddef.h>
#else
#include <cstddef>
#endif

#if defined(_WIN32)
#  if defined(VARLO_BUILD_LIBRARY)
#    define VARLO_API __declspec(dllexport)
#  else
#    define VARLO_API __declspec(dllimport)
#  endif
#else
#  define VARLO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define VARLO_EXTERN_C extern "C"
#  define VARLO_STATIC_ASSERT(condition, message) static_assert(condition, message)
#else
#  define VARLO_EXTERN_C
#  define VARLO_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

/* Declares an exported function returning `type`. */
#define VARLO_FUNCTION(type) VARLO_EXTERN_C VARLO_API type

/*
 * Result codes.
 *
 * VARLO_OK (0)               done, or accepted. Many functions return 0
 *                            whatever the controller answered; each function
 *                            below says where that is not so.
 * VARLO_NO_CONNECTION (1)    ConnectVarlo: no connection within the time
 *                            limit, or the robot has neither 4 nor 6 axes.
 *                            Any other function: ConnectVarlo has not been
 *                            called yet (or the application has quit), so
 *                            there is nothing to talk to.
 * VARLO_ALARM (1)            a blocking motion ended in an alarm.
 * VARLO_REQUEST_FAILED (2)   the controller request failed or timed out.
 * VARLO_MOTION_TIMEOUT (2)   a blocking motion did not end within 20000 ms.
 * VARLO_INVALID_ARGUMENT (3) a null pointer or an index out of range was
 *                            passed; nothing was sent and no out-parameter
 *                            was touched.
 */
#define VARLO_OK 0
#define VARLO_NO_CONNECTION 1    /* not connected, or no controller answered */
#define VARLO_ALARM 1            /* a blocking motion ended in an alarm */
#define VARLO_REQUEST_FAILED 2   /* the controller request failed or timed out */
#define VARLO_MOTION_TIMEOUT 2   /* a blocking motion did not end in time */
#define VARLO_INVALID_ARGUMENT 3 /* a null pointer or an index out of range */

/* Called with the new connection state and the userData given at registration. */
typedef void (*VarloConnectStateFunction)(bool isConnected, void *userData);

/* ------------------------------------------------------------------------
 * Connection
 * ------------------------------------------------------------------------ */

/*
 * Connects to the controller at `ip` (dotted address text; NULL is an empty
 * address). Creates a Qt application object when the host has none. With
 * "127.0.0.1" a running VarloSim is looked for and its local project folder is
 * used for the controller's settings files.
 *
 * Waits up to about five seconds (checked once a second) for the controller
 * to answer and its settings files to become readable, then reads the robot's
 * axis count. Returns 0 when connected to a robot of 4 or 6 axes, 1 otherwise.
 * Calling it again (after DisconnectVarlo, or with another address) starts the
 * connection over with the same library state.
 */
VARLO_FUNCTION(int32_t) ConnectVarlo(const char *ip);

/*
 * Stops talking to the controller: no more requests, no state exchange, no
 * reconnection attempts. Every connection callback is called with false.
 * Returns 0, connected or not. Functions that need the controller fail
 * promptly afterwards until the next ConnectVarlo.
 */
VARLO_FUNCTION(int32_t) DisconnectVarlo(void);

/*
 * Registers `callback` to be called with every connection change (true when
 * the controller became reachable, false when it was lost or on
 * DisconnectVarlo). Each registration adds one more call; there is no way to
 * remove one. May be called before ConnectVarlo. Returns 0, or 3 when
 * `callback` is NULL.
 */
VARLO_FUNCTION(int32_t) ConnectStateCallback(VarloConnectStateFunction callback, void *userData);

/* ------------------------------------------------------------------------
 * Motion, jog and speed
 * ------------------------------------------------------------------------ */

/*
 * Cartesian target of MovJ and MovL (52 bytes): position x, y, z and
 * orientation a, b, c; the tool and user coordinate-system indices; the
 * arm-configuration selectors r, d, n, cfg; armOrientation 0 for the left arm,
 * any other value for the right arm.
 */
typedef struct VarloRunCmd {
    float x; /* mm */
    float y; /* mm */
    float z; /* mm */
    float a; /* degrees */
    float b; /* degrees */
    float c; /* degrees */
    int32_t tool; /* tool frame, 0 to 9 */
    int32_t user; /* user frame, 0 to 9 */
    int32_t r; /* configuration selector r */
    int32_t d; /* configuration selector d */
    int32_t n; /* configuration selector n */
    int32_t cfg; /* configuration selector cfg */
    int32_t armOrientation; /* 0 the left arm, any other value the right arm */
} VarloRunCmd;

VARLO_STATIC_ASSERT(sizeof(VarloRunCmd) == 52, "VarloRunCmd is 52 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, x) == 0, "VarloRunCmd.x at 0");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, c) == 20, "VarloRunCmd.c at 20");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, tool) == 24, "VarloRunCmd.tool at 24");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, user) == 28, "VarloRunCmd.user at 28");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, r) == 32, "VarloRunCmd.r at 32");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, d) == 36, "VarloRunCmd.d at 36");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, n) == 40, "VarloRunCmd.n at 40");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, cfg) == 44, "VarloRunCmd.cfg at 44");
VARLO_STATIC_ASSERT(offsetof(VarloRunCmd, armOrientation) == 48, "VarloRunCmd.armOrientation at 48");

#ifdef __cplusplus
namespace VarloType {
typedef VarloRunCmd RunCmd;
}
#endif

/*
 * The motion functions send one command and, when isBlock is true, wait until
 * the controller reports the end of the motion (checked every 100 ms).
 *
 * Results: 0 the command was accepted (isBlock false) or the motion finished;
 * 1 the motion ended in an alarm, or ConnectVarlo has not been called;
 * 2 the controller did not answer the command, or no end of the motion was
 * reported within 20000 ms (a status query that fails is retried until then);
 * 3 a NULL target; nothing was sent.
 */

/* Point-to-point motion to a Cartesian target. */
VARLO_FUNCTION(int32_t) MovJ(const VarloRunCmd *cmd, bool isBlock);

/* Linear motion to a Cartesian target. */
VARLO_FUNCTION(int32_t) MovL(const VarloRunCmd *cmd, bool isBlock);

/* Point-to-point motion to six joint positions (joint[0] is joint 1). */
VARLO_FUNCTION(int32_t) JointMovJ(const float *joint, bool isBlock);

/* Point-to-point motion by an offset along X, Y and Z (offset[0..2]). */
VARLO_FUNCTION(int32_t) RelMovJ(const float *offset, bool isBlock);

/* Linear motion by an offset along X, Y and Z (offset[0..2]). */
VARLO_FUNCTION(int32_t) RelMovL(const float *offset, bool isBlock);

/*
 * Jogging. JointTeachStart jogs joint `axis` (0 to 5), CoorTeachStart the
 * Cartesian axis `axis` (0 to 5: X, Y, Z, A, B, C), in the positive direction
 * when `direction` is true, until TeachStop. The coordinate reaches the
 * controller (with a state exchange run at once, within its time-out) before
 * the button is pressed, so a jog never runs in the coordinate of the one
 * before. Return 0; 3 (nothing sent) for an axis outside 0 to 5 or one the arm
 * lacks (a 4-axis arm: joints 0 to 3; X, Y, Z and C, that is 0, 1, 2, 5);
 * 2 (no button pressed) when the controller did not answer or kept another
 * coordinate; 1 before ConnectVarlo.
 */
VARLO_FUNCTION(int32_t) JointTeachStart(int32_t axis, bool direction);
VARLO_FUNCTION(int32_t) CoorTeachStart(int32_t axis, bool direction);

/*
 * Releases every jog button (sent once more when unanswered). Returns 0; 2
 * when the controller answered neither (the arm may still move); 1 before
 * ConnectVarlo.
 */
VARLO_FUNCTION(int32_t) TeachStop(void);

/*
 * The global speed ratio. SetRapidRate stores `rate`; GetRapidRate gives the
 * stored ratio truncated toward zero (0 when the controller has none). Both
 * return 0 whatever the controller answered; 1 before ConnectVarlo; 3 for a
 * NULL `rate`.
 */
VARLO_FUNCTION(int32_t) SetRapidRate(int32_t rate);
VARLO_FUNCTION(int32_t) GetRapidRate(int32_t *rate);

/* ------------------------------------------------------------------------
 * State and IO
 * ------------------------------------------------------------------------ */

/*
 * Digital IO: channels 1 to 64 in value[0..63], one byte each (0 or 1).
 * `enable` matters only in a record given to SetDO: true asks the controller
 * to apply the outputs. Records read back from the controller hold 0 there.
 */
typedef struct VarloIO {
    bool enable; /* SetDO: apply the outputs; 0 in records read back */
    bool value[64]; /* channel N in value[N - 1], 0 or 1 */
} VarloIO;

VARLO_STATIC_ASSERT(sizeof(bool) == 1, "bool must be one byte");
VARLO_STATIC_ASSERT(sizeof(VarloIO) == 65, "VarloIO must be 65 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloIO, enable) == 0, "VarloIO.enable offset");
VARLO_STATIC_ASSERT(offsetof(VarloIO, value) == 1, "VarloIO.value offset");

/*
 * The robot's live state in one record, packed with 1-byte alignment: the
 * 32-bit fields from offset 5 on are unaligned, so a C host reads them with
 * memcpy or through this structure, never through a pointer to the field.
 *
 * offset  size  field
 *      0     1  isEnabled            control mode is "enable" or "drag"
 *      1     1  isPower              power of the arm is on
 *      2     1  isCollision          a collision has been detected
 *      3     1  isJog                jog mode is "jog" (not "step")
 *      4     1  isAuto               the robot is in "auto" (not "manual")
 *      5     4  toolCoordinate       selected tool coordinate system
 *      9     4  userCoordinate       selected user coordinate system
 *     13    24  jointCoordinate      joints 1 to 6
 *     37    24  cartesianCoordinate  x, y, z, a, b, c
 *     61  1792  alarms               7 groups of 64 alarm words
 *   1853    16  rdnCoordinate        r, d, n, cfg
 *   1869     4  armOrientation       the controller's arm orientation code
 *   1873    65  DO                   digital outputs
 *   1938    65  DI                   digital inputs
 */
#pragma pack(push, 1)
typedef struct VarloExchangeRecord {
    bool isEnabled; /* control mode "enable" or "drag" */
    bool isPower; /* the arm's power is on */
    bool isCollision; /* a collision has been detected */
    bool isJog; /* jog mode "jog" (not "step") */
    bool isAuto; /* "auto" (not "manual") */
    int32_t toolCoordinate; /* selected tool frame */
    int32_t userCoordinate; /* selected user frame */
    float jointCoordinate[6]; /* joints 1 to 6 in [0..5], degrees */
    float cartesianCoordinate[6]; /* x, y, z (mm), a, b, c (degrees) */
    int32_t alarms[7][64]; /* alarm words: [0] the controller, [1..6] the drives of joints 1 to 6 */
    int32_t rdnCoordinate[4]; /* r, d, n, cfg */
    int32_t armOrientation; /* the controller's arm orientation code */
    VarloIO DO; /* digital outputs */
    VarloIO DI; /* digital inputs */
} VarloExchangeRecord;
#pragma pack(pop)

VARLO_STATIC_ASSERT(sizeof(float) == 4, "positions are 32-bit floats");
VARLO_STATIC_ASSERT(sizeof(VarloExchangeRecord) == 2003, "VarloExchangeRecord must be 2003 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, isEnabled) == 0, "isEnabled offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, isPower) == 1, "isPower offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, isCollision) == 2, "isCollision offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, isJog) == 3, "isJog offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, isAuto) == 4, "isAuto offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, toolCoordinate) == 5, "toolCoordinate offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, userCoordinate) == 9, "userCoordinate offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, jointCoordinate) == 13, "jointCoordinate offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, cartesianCoordinate) == 37, "cartesianCoordinate offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, alarms) == 61, "alarms offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, rdnCoordinate) == 1853, "rdnCoordinate offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, armOrientation) == 1869, "armOrientation offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, DO) == 1873, "DO offset");
VARLO_STATIC_ASSERT(offsetof(VarloExchangeRecord, DI) == 1938, "DI offset");

#ifdef __cplusplus
namespace QRobotType { typedef VarloIO IO; }
namespace VarloType { typedef VarloExchangeRecord ExchangeRecord; }
#endif

/*
 * Called with the library's one state record and the userData given at
 * registration. The record is refilled before every call and stays valid
 * only until the callback returns; copy what you need.
 */
typedef void (*VarloExchangeFunction)(VarloExchangeRecord *record, void *userData);

/*
 * Registers `callback` for changes of the live state. While connected, the
 * state exchange runs about three times a second; the callback runs once per
 * change notification of a cycle (several times per cycle), each time with a
 * freshly refilled record. Notifications that call it:
 *   - control mode, collision, jog mode, auto/manual, tool and user
 *     coordinate system, alarms: when they change;
 *   - joint and Cartesian coordinates, DO, DI: every cycle;
 *   - RDN coordinate (every cycle): only when the robot had 6 axes when
 *     ExchangeCallback was called;
 *   - arm orientation (on a change): only when the robot had 4 axes when
 *     ExchangeCallback was called.
 * So a registration before ConnectVarlo gets neither RDN nor arm-orientation
 * calls. A change of power alone does not call it. In the record it gets,
 * isPower and rdnCoordinate are refreshed only for a 6-axis robot and
 * armOrientation only for a 4-axis one; the excluded fields keep what they
 * held (initially power on, arm orientation 1, zeros elsewhere). GetExchange
 * always fills every field.
 *
 * Each registration adds one more call; there is no way to remove one. May be
 * called before ConnectVarlo. The callback runs in the library's thread
 * inside whichever function is waiting. Returns 0, or 3 when `callback` is
 * NULL.
 */
VARLO_FUNCTION(int32_t) ExchangeCallback(VarloExchangeFunction callback, void *userData);

/*
 * The getters below copy what the last state exchange received, without a
 * request of their own; while the exchange fails they keep the last values.
 * Before the first reply they give zeros, except power on (true) and arm
 * orientation 1. Each returns 0, 1 before ConnectVarlo, 3 for a NULL pointer;
 * on 1 and 3 nothing is written.
 */

/* Fills every field of `record`. */
VARLO_FUNCTION(int32_t) GetExchange(VarloExchangeRecord *record);

/* x, y, z, a, b, c into coordinate[0..5]. */
VARLO_FUNCTION(int32_t) GetCartesianCoordinate(float *coordinate);

/* Joints 1 to 6 into coordinate[0..5]. */
VARLO_FUNCTION(int32_t) GetJointCoordinate(float *coordinate);

/* r, d, n, cfg into coordinate[0..3]. */
VARLO_FUNCTION(int32_t) GetRdnCoordinate(int32_t *coordinate);

/* The controller's arm orientation code. */
VARLO_FUNCTION(int32_t) GetArmOrientation(int32_t *orientation);

/* Digital inputs; `enable` is 0. */
VARLO_FUNCTION(int32_t) GetDI(VarloIO *io);

/* Digital outputs as the controller reports them; `enable` is 0. */
VARLO_FUNCTION(int32_t) GetDO(VarloIO *io);

/* 0 "disable", 1 "enable", 2 "drag". */
VARLO_FUNCTION(int32_t) GetControlMode(int32_t *mode);

/* Power of the arm: true when on. */
VARLO_FUNCTION(int32_t) GetPowerMode(bool *isPower);

/*
 * Sets the digital outputs. The next state exchange sends `io->value` (any
 * non-zero byte counts as on) with `io->enable`; with enable true the
 * controller applies them, once: later exchanges send enable false. Should
 * that exchange fail, the request is kept until one succeeds. A second call
 * before then replaces the first. Returns 0, 1 before ConnectVarlo, 3 when
 * `io` is NULL.
 */
VARLO_FUNCTION(int32_t) SetDO(const VarloIO *io);

/*
 * Asks the controller to clear its alarms with the next state exchange (kept
 * until an exchange succeeds). Returns 0, or 1 before ConnectVarlo.
 */
VARLO_FUNCTION(int32_t) ClearAlarms(void);

/* ------------------------------------------------------------------------
 * Configuration: coordinate systems, calibration, kinematics, payload,
 * force sensor, analog IO
 * ------------------------------------------------------------------------ */

/*
 * A frame or a taught point is 6 floats x, y, z, a, b, c (24 bytes); the
 * points of a calibration are 3 such points in one array of 18 floats, point 1
 * first. The controller keeps 10 tool frames and 10 user frames (index 0 to 9).
 */

/* Payload: centre of mass and mass. 20 bytes. */
typedef struct VarloPayloadRecord {
    float x;          /* centre of mass */
    float y; /* centre of mass */
    float z; /* centre of mass */
    float loadValue;  /* mass */
    uint8_t reserved[4]; /* not read; GetPayLoad sets it to zero */
} VarloPayloadRecord;

/* Modes of the two analog inputs of the cabinet. */
typedef struct VarloGPIOAI {
    int32_t mode1; /* mode of input 1, as the controller codes it */
    int32_t mode2; /* mode of input 2, as the controller codes it */
} VarloGPIOAI;

/* One analog channel: its mode and its value, as the controller codes them. */
typedef struct VarloAnalogChannel {
    int32_t mode; /* the channel's mode, as the controller codes it */
    int32_t value; /* the channel's value, as the controller codes it */
} VarloAnalogChannel;

/* The two analog outputs of the cabinet, channel 1 first. 16 bytes. */
typedef struct VarloGPIOAO {
    VarloAnalogChannel channel[2]; /* channel 1 in [0], channel 2 in [1] */
} VarloGPIOAO;

VARLO_STATIC_ASSERT(sizeof(VarloPayloadRecord) == 20, "VarloPayloadRecord is 20 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloPayloadRecord, loadValue) == 12, "VarloPayloadRecord.loadValue at 12");
VARLO_STATIC_ASSERT(offsetof(VarloPayloadRecord, reserved) == 16, "VarloPayloadRecord.reserved at 16");
VARLO_STATIC_ASSERT(sizeof(VarloGPIOAI) == 8, "VarloGPIOAI is 8 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloGPIOAI, mode2) == 4, "VarloGPIOAI.mode2 at 4");
VARLO_STATIC_ASSERT(sizeof(VarloGPIOAO) == 16, "VarloGPIOAO is 16 bytes");
VARLO_STATIC_ASSERT(sizeof(VarloAnalogChannel) == 8 && offsetof(VarloAnalogChannel, value) == 4,
                    "VarloAnalogChannel is mode then value");

#ifdef __cplusplus
namespace VarloType { typedef VarloPayloadRecord PayloadRecord; }
namespace QRobotCoor {
typedef VarloGPIOAI GPIOAI;
typedef VarloGPIOAO GPIOAO;
}
#endif

/*
 * Active frames. The setters choose the tool or user frame (0 to 9) that the
 * controller is asked to use from the next state exchange on; the getters
 * give the frame that the controller last reported, so right after a setter
 * they still give the previous one until the controller has confirmed the
 * change (within about a third of a second). Return 0, or 3 for an index
 * outside 0 to 9 or a NULL pointer.
 */
VARLO_FUNCTION(int32_t) SetCoordinateUserIndex(int32_t index);
VARLO_FUNCTION(int32_t) GetCoordinateUserIndex(int32_t *index);
VARLO_FUNCTION(int32_t) SetCoordinateToolIndex(int32_t index);
VARLO_FUNCTION(int32_t) GetCoordinateToolIndex(int32_t *index);

/*
 * Frames of the tool and user tables. The setters read the whole table, put
 * `frame` into entry `index`, mark the entry in use (its name and the other
 * entries stay as they were) and write the table back; a table the controller
 * does not have yet starts as all zeros. A table that could not be read is
 * never written (its other entries would be lost): the setter returns 2. The
 * getters copy the frame of entry `index` (all zeros when the table cannot be
 * read). The setters return 0 once the table was read, whatever the write
 * gave; the getters 0. Both return 3 for an index outside 0 to 9 or a NULL
 * pointer (nothing is read or written then).
 */
VARLO_FUNCTION(int32_t) SetCoordinateUserParams(const float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) GetCoordinateUserParams(float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) SetCoordinateToolParams(const float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) GetCoordinateToolParams(float frame[6], int32_t index);

/*
 * Calibrations from three taught points. On success the computed frame goes
 * to `frame` and into entry `index` of the table (user table for the user
 * calibration, tool table for the others), and the entry is marked in use:
 * the user calibration replaces the whole frame, the tool position
 * calibration x, y, z and the tool pose calibration a, b, c, so running both
 * tool calibrations on one index completes that tool.
 * Return 0 on success; 2 when the controller could not calibrate (then
 * `frame` and both tables are left as they were), or when the table could not
 * be read (then `frame` holds the computed frame and the table is not
 * written); 3 for an index outside 0 to 9 or a NULL pointer.
 * The ToPy variants take the three points through three pointers.
 */
VARLO_FUNCTION(int32_t) CalibrateCoordinateUser(const float points[18], float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPosition(const float points[18], float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPose(const float points[18], float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) CalibrateCoordinateUserToPy(const float point1[6], const float point2[6],
                                                    const float point3[6], float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPositionToPy(const float point1[6], const float point2[6],
                                                            const float point3[6], float frame[6], int32_t index);
VARLO_FUNCTION(int32_t) CalibrateCoordinateToolPoseToPy(const float point1[6], const float point2[6],
                                                        const float point3[6], float frame[6], int32_t index);

/*
 * Kinematics computed by the controller for tool `tool` and user frame `user`.
 * PositiveSolution turns 6 joint values into a frame; InverseSolution turns a
 * frame and an arm configuration (r, d, n, cfg, as GetRdnCoordinate gives it)
 * into 6 joint values. Return 0 with the result, 2 when the controller gave
 * no result (the out-array is left as it was), 3 for a NULL pointer.
 */
VARLO_FUNCTION(int32_t) PositiveSolution(const float joints[6], int32_t tool, int32_t user, float frame[6]);
VARLO_FUNCTION(int32_t) InverseSolution(const float frame[6], const int32_t configuration[4], int32_t tool,
                                        int32_t user, float joints[6]);

/*
 * Payload. SetPayLoad writes the centre of mass and the mass and has the
 * controller apply them. GetPayLoad reads them back; when they cannot be read
 * the record is left as it was. Both return 0 whatever the controller
 * answered, or 3 for a NULL pointer.
 */
VARLO_FUNCTION(int32_t) SetPayLoad(const VarloPayloadRecord *payload);
VARLO_FUNCTION(int32_t) GetPayLoad(VarloPayloadRecord *payload);

/*
 * Six-axis force sensor: its switch, its six readings (left as they were when
 * they cannot be read; readings the controller does not send are 0) and its
 * zeroing. Return 0 whatever the controller answered, or 3 for a NULL pointer.
 */
VARLO_FUNCTION(int32_t) SetForceSensor(bool on);
VARLO_FUNCTION(int32_t) GetForceSensor(bool *on);
VARLO_FUNCTION(int32_t) GetForceOrgParams(float values[6]);
VARLO_FUNCTION(int32_t) SetForceHome(void);

/*
 * Torque parameter. SetTorqueParams returns 0 whatever the controller
 * answered. GetTorqueParams returns 0 when it was read, 2 when it could not be
 * read (`value` left as it was), 3 for a NULL pointer.
 */
VARLO_FUNCTION(int32_t) SetTorqueParams(float value);
VARLO_FUNCTION(int32_t) GetTorqueParams(float *value);

/*
 * Analog IO of the cabinet: the input modes, and the outputs' modes and
 * values. Records that cannot be read are left as they were. Return 0
 * whatever the controller answered, or 3 for a NULL pointer.
 */
VARLO_FUNCTION(int32_t) GetAI(VarloGPIOAI *ai);
VARLO_FUNCTION(int32_t) GetAO(VarloGPIOAO *ao);
VARLO_FUNCTION(int32_t) SetAO(const VarloGPIOAO *ao);
/*
 * Trajectory teaching: presses (true) or releases (false) the enabling switch
 * of the teach panel. Returns 0 whatever the controller answered.
 */
VARLO_FUNCTION(int32_t) SetTeachTrajectory(bool on);

/* ------------------------------------------------------------------------
 * Safety, alarms and version
 * ------------------------------------------------------------------------ */

/* Version texts filled by GetVarloVersion (100 bytes). Each field is a
 * NUL-terminated 8-bit text of at most 24 bytes, cut at a character boundary;
 * a module the controller does not report, or every module when the
 * controller cannot be reached, reads "NULL". */
typedef struct VarloVersionRecord {
    char library[25]; /* the library's own version, "1.2.0_" */
    char control[25]; /* controller software */
    char algs[25];    /* motion algorithms */
    char system[25];  /* controller system */
} VarloVersionRecord;

VARLO_STATIC_ASSERT(sizeof(VarloVersionRecord) == 100, "VarloVersionRecord is 100 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloVersionRecord, control) == 25, "VarloVersionRecord.control at 25");
VARLO_STATIC_ASSERT(offsetof(VarloVersionRecord, algs) == 50, "VarloVersionRecord.algs at 50");
VARLO_STATIC_ASSERT(offsetof(VarloVersionRecord, system) == 75, "VarloVersionRecord.system at 75");

/* One alarm of the controller's catalogues, filled by GetAlarmsParameter
 * (1544 bytes). The texts are UTF-16, NUL-terminated, at most 255 units, cut
 * before a character that does not fit whole (never inside a surrogate pair).
 * Every field is written on every call: when the catalogue has no entry with
 * the id (or cannot be read), `id` is the id asked for, `level` is 0 and the
 * texts are empty; when it has the id but no texts in the language asked
 * for, `level` is the entry's and the texts are empty. */
typedef struct VarloAlarmRecord {
    uint32_t id;              /* alarm number */
    int32_t level;            /* alarm level */
    uint16_t description[256]; /* what happened (UTF-16) */
    uint16_t cause[256]; /* why (UTF-16) */
    uint16_t solution[256]; /* what to do (UTF-16) */
} VarloAlarmRecord;

VARLO_STATIC_ASSERT(sizeof(VarloAlarmRecord) == 1544, "VarloAlarmRecord is 1544 bytes");
VARLO_STATIC_ASSERT(offsetof(VarloAlarmRecord, level) == 4, "VarloAlarmRecord.level at 4");
VARLO_STATIC_ASSERT(offsetof(VarloAlarmRecord, description) == 8, "VarloAlarmRecord.description at 8");
VARLO_STATIC_ASSERT(offsetof(VarloAlarmRecord, cause) == 520, "VarloAlarmRecord.cause at 520");
VARLO_STATIC_ASSERT(offsetof(VarloAlarmRecord, solution) == 1032, "VarloAlarmRecord.solution at 1032");

#ifdef __cplusplus
namespace VarloType {
typedef VarloVersionRecord VersionRecord;
typedef VarloAlarmRecord AlarmRecord;
}
#endif

/* The functions below need ConnectVarlo first: before it they return 1 and
 * touch nothing. A NULL pointer argument returns 3 and sends nothing.
 * Otherwise they return 0 whatever the controller answered. */

/*
 * Fills `out` with the library's version and the versions of the controller's
 * software modules. With the controller unreachable the three controller
 * fields read "NULL".
 */
VARLO_FUNCTION(int32_t) GetVarloVersion(VarloVersionRecord *out);

/*
 * Asks the controller for the control mode `*mode`: 0 disabled, 1 enabled,
 * 2 hand-guided drag. Another value sends a request the controller ignores.
 * GetControlMode reports the mode the controller went to.
 */
VARLO_FUNCTION(int32_t) SetControlMode(const int32_t *mode);

/* Switches the power of the arm on or off. */
VARLO_FUNCTION(int32_t) SetPowerMode(bool on);

/*
 * Looks the alarm `id` up in the controller's alarm catalogue (`catalogue` 0)
 * or its servo alarm catalogue (any other value) and fills `out` with its
 * level and its texts in English (`english` true) or Chinese (false).
 */
VARLO_FUNCTION(int32_t) GetAlarmsParameter(uint32_t id, int32_t catalogue, VarloAlarmRecord *out, bool english);

/*
 * Switches collision detection on or off and selects the threshold `level`
 * (1 to 5; level 5 has the lowest thresholds). The controller's other collision settings
 * are kept; when it has none yet they are created with the default
 * thresholds.
 */
VARLO_FUNCTION(int32_t) SetCollisionMode(bool on, int32_t level);

/*
 * Reads whether collision detection is on and its level. When the setting
 * cannot be read (or lacks a value), that out-value keeps what it held.
 */
VARLO_FUNCTION(int32_t) GetCollisionMode(bool *on, int32_t *level);

/* Clears a detected collision so that the arm can move again. */
VARLO_FUNCTION(int32_t) ResetCollision(void);

/*
 * Presses the emergency stop of the teach panel: the controller stops the
 * arm. No function releases it; that is done on the controller.
 */
VARLO_FUNCTION(int32_t) EmergencyStop(void);

#endif /* VARLO_H */
