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
#define VARLO_NO_CONNECTION 1
#define VARLO_ALARM 1
#define VARLO_REQUEST_FAILED 2
#define VARLO_MOTION_TIMEOUT 2
#define VARLO_INVALID_ARGUMENT 3

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

/* (motion records and functions) */

/* ------------------------------------------------------------------------
 * State and IO
 * ------------------------------------------------------------------------ */

/* (state records and functions) */

/* ------------------------------------------------------------------------
 * Configuration: coordinate systems, calibration, kinematics, payload,
 * force sensor, analog IO
 * ------------------------------------------------------------------------ */

/* (configuration records and functions) */

/* ------------------------------------------------------------------------
 * Safety, alarms and version
 * ------------------------------------------------------------------------ */

/* (safety records and functions) */

#endif /* VARLO_H */
