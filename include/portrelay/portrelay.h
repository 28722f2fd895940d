/* PortRelay: the motion engine library of a motion-simulator rig.
 *
 * Every function here is extern "C", unmangled, and never lets an exception
 * out: failures are reported by the results each function documents. Any host
 * thread may call any function unless stated otherwise. The first call of any
 * engine function creates the process-wide engine object with its defaults.
 *
 * Conventions: profile 0 is "Profil AIR", 1 is "Profil GROUND"; cue slots are
 * 0..22, outputs 0..5 are sway, surge, heave, yaw, roll, pitch; game-data
 * indexes are 0..42. Bounds are tested as unsigned numbers, so negative
 * arguments are out of range; out-of-range calls do nothing. "bool" results
 * and arguments are one byte. Every setter that takes a double refuses NaN,
 * infinities and values outside the range it states (the previous value
 * stays): the ranges keep every product the engine forms with them inside a
 * 32-bit float.
 *
 * Game ids (getGameID) and names (getGameName):
 *   0 Xplane            6 Condor2               12 BeamNG
 *   1 DCS               7 F1-2023-24            13 LFS
 *   2 MSFS2020          8 NoLimits2             14 rFactor2
 *   3 AssettoCorsa/Comp. 9 PCAR2/Automobilista2 15 MSFS2024
 *   4 RaceRoom         10 iRacing               16 AssettoCorsaEvo
 *   5 DirtRally2       11 WRC23                 17 ETSM2/AMT
 *
 * ---- Lifecycle ----
 *
 * Loading the library does no work. A typical host:
 *   1. configures: filter strings (setcheckFilterstring), input and rig limits
 *      (SetInputDofLimitValue, SetRigDofLimitValue; the defaults (0, 0) keep
 *      the rig still), active slots, belt weights, optionally initWindSerial
 *      and activateMotionCancel. Configuration may also change at any time later;
 *      changes that could make the rig jump restart the 4000-ms output fade:
 *      setActiveAxis (every call), setMotionsystemready (a change of state),
 *      setcheckFilterstring (every call), startGamesource_Thread, and a
 *      belt weight, rig limit or input limit that changes a stored value;
 *      the output rate limit (setOutputRateLimit), applied after the rig
 *      limits, eases the rig to new limits. Motion-cancel settings,
 *      setTimerPrecision and the rig link's calls do not restart the fade;
 *   2. starts the rig link: calls startPortRelay_Thread on a thread of its own
 *      (the call returns only when the loop ends), and enableAutoconnect or
 *      resumeInterface;
 *   3. starts the engine: startGamesource_Thread (the library creates the
 *      engine thread), then setMotionsystemready(1) when the rig may move.
 *      The engine searches for a game, attaches, and then sends a motion frame
 *      every 2 ms, fading in over 4000 ms of running motion;
 *   4. stops, in this order: parkRig and wait (bounded) until getParkStatus
 *      reports 2, setMotionsystemready(0) (the engine then sends nothing
 *      more), stopGamesource_Thread, then stopPortRelay_Thread, and joins
 *      its relay thread.
 *
 * Before unloading the library (FreeLibrary, dlclose) the host should have
 * called stopGamesource_Thread and stopPortRelay_Thread and joined its relay,
 * sender and listener threads. An unload with threads still running: the
 * library asks the engine thread (which stops the fan controller's thread on
 * its way out), the relay loop, the multicast sender and the UDP listener to
 * end, and waits for each at most half a second (never joining, so never
 * under the loader lock). Guaranteed: the unload returns within about one
 * second; a body that ends in that time has returned to the host's code (the
 * host's relay, sender and listener threads then return normally from their
 * start call) before the code is unmapped; bodies end between steps, which
 * takes at most one step of the game-detection pass or of the port scan
 * (both well under half a second). Not guaranteed: a thread blocked in a call
 * of the host's own (resumeInterface without autoconnect, a diagnostics
 * callback that does not return) or one that the system does not schedule
 * for half a second; such a thread runs unmapped code afterwards. On Windows
 * the fan controller's thread cannot end while the loader lock is held: with
 * the fan running, stop the engine before the unload.
 *
 * Calls that block (all others return at once, apart from a brief lock):
 *   - stopGamesource_Thread: until the engine thread has ended: its current
 *     2-ms cycle, or its current game-detection test (the pass of eighteen
 *     short tests 10 ms apart ends between two tests), plus stopping the fan
 *     controller and the process watch (its current process-list query, a
 *     few milliseconds);
 *   - stopPortRelay_Thread: until the relay loop and the network link
 *     threads have ended (their current cycle, port-scan step or 5-ms slice
 *     of an idle pause);
 *   - setcheckFilterstring: until the engine thread no longer uses the
 *     replaced chain (at most about one engine cycle);
 *   - resumeInterface without autoconnect: up to three connection attempts
 *     500 ms apart;
 *   - startPortRelay_Thread: for as long as the relay loop runs.
 *
 * Process-wide effects a host inherits once the threads run:
 *   - Windows: the engine, relay and network link threads raise the whole
 *     process to the real-time priority class (as far as the account allows)
 *     and themselves to time-critical priority; on Linux no real-time
 *     scheduling class is used, the threads only ask for nice -10;
 *   - the relay thread (the host's own thread) keeps that raised priority
 *     after startPortRelay_Thread returns, and so do the sender and listener
 *     threads: a host that reuses such a thread sets its priority back itself
 *     (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL) and, for
 *     the process, SetPriorityClass(GetCurrentProcess(),
 *     NORMAL_PRIORITY_CLASS) once no thread of the library runs; on Linux
 *     setpriority(PRIO_PROCESS, 0, 0) on that thread);
 *   - a 1-ms system timer resolution (timeBeginPeriod(1)), never released;
 *   - in precise timer mode (the default) the engine thread, and the relay
 *     thread while no motion frames come, sleep to shortly before the end of
 *     each 2-ms period and spin on the performance counter for the rest: a
 *     few per cent of a core where the system's sleeps wake on time (Linux,
 *     Windows 10 1803 and later), up to most of a core where they wake a
 *     millisecond late (older Windows, Wine);
 *   - diagnostic lines on standard output and standard error (console),
 *     without time stamps, unless the host sends them elsewhere
 *     (setDiagnosticOutput);
 *   - the network link writes a log file "errorlog.txt" in the folder
 *     "tiltaverse" of the user's Documents folder, creating that folder.
 *
 * Loaded twice: every copy of the library in a process (a second file, or the
 * same file under another path) has its own engine, link state, settings and
 * diagnostics output. Only one copy at a time drives the rig: while the
 * engine thread or a link thread body (relay loop, multicast sender, UDP
 * listener) of one copy runs, the other copy's startGamesource_Thread returns
 * 0 and its thread bodies return at once (startPortRelay_Thread with 0), each
 * with one diagnostic line "PortRelay: another copy of the library in this
 * process drives the rig; this one does not start". Once every such thread of
 * the first copy has ended, the other copy may start. So two engines never
 * both queue motion, publish the pose section "Local\motionRigPose" or hold
 * "Tiltaverse_tx"/"Tiltaverse_rx" in one process. Across processes the rig's
 * serial port is opened for one handle only (the second scan finds it busy);
 * the named sections are shared there as named objects are.
 */
#ifndef PORTRELAY_PORTRELAY_H
#define PORTRELAY_PORTRELAY_H

#include <stdint.h>
#include <wchar.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/* Windows: the library itself is built with BUILDING_PORTRELAY (exports); a
 * host that uses portrelay.dll may define USING_PORTRELAY_SHARED (imports);
 * with neither, the declarations are plain, as a static build needs them (the
 * DLL's functions are then called through its import library). Elsewhere the
 * declarations are visible from the shared library. */
#if defined(_WIN32)
#if defined(BUILDING_PORTRELAY)
#define PORTRELAY_API __declspec(dllexport)
#elif defined(USING_PORTRELAY_SHARED)
#define PORTRELAY_API __declspec(dllimport)
#else
#define PORTRELAY_API
#endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#define PORTRELAY_API __attribute__((visibility("default")))
#else
#define PORTRELAY_API
#endif

/* ---- Sizes ----
 * The sizes of the buffers and arrays the functions below hand out or fill. */
#define PORTRELAY_GAME_NAME_SIZE 21      /* getGameName's buffer, NUL included */
#define PORTRELAY_MESSAGE_SIZE 512       /* a message buffer (sendMessagemmf, readMessagemmf, ...) */
#define PORTRELAY_FRAME_SIZE 36          /* one motion frame (getOutputData) */
#define PORTRELAY_GAME_DATA_COUNT 43     /* game-data values (getGameData) */
#define PORTRELAY_SLOT_COUNT 23          /* cue slots per profile, and outputs */
#define PORTRELAY_SNAPSHOT_COUNT 150     /* records a snapshot history keeps */

/* ---- Games ----
 * The ids getGameID answers, in the registry's priority order, with the name
 * getGameName writes for each. */
enum PortRelayGameId {
  PORTRELAY_GAME_NONE = -1,               /* "No Game online" */
  PORTRELAY_GAME_XPLANE = 0,              /* "Xplane" */
  PORTRELAY_GAME_DCS = 1,                 /* "DCS" */
  PORTRELAY_GAME_MSFS2020 = 2,            /* "MSFS2020" */
  PORTRELAY_GAME_ASSETTO_CORSA = 3,       /* "AssettoCorsa/Comp." */
  PORTRELAY_GAME_RACEROOM = 4,            /* "RaceRoom" */
  PORTRELAY_GAME_DIRT_RALLY2 = 5,         /* "DirtRally2" */
  PORTRELAY_GAME_CONDOR2 = 6,             /* "Condor2" */
  PORTRELAY_GAME_F1 = 7,                  /* "F1-2023-24" */
  PORTRELAY_GAME_NOLIMITS2 = 8,           /* "NoLimits2" */
  PORTRELAY_GAME_PROJECT_CARS2 = 9,       /* "PCAR2/Automobilista2" */
  PORTRELAY_GAME_IRACING = 10,            /* "iRacing" */
  PORTRELAY_GAME_WRC = 11,                /* "WRC23" */
  PORTRELAY_GAME_BEAMNG = 12,             /* "BeamNG" */
  PORTRELAY_GAME_LIVE_FOR_SPEED = 13,     /* "LFS" */
  PORTRELAY_GAME_RFACTOR2 = 14,           /* "rFactor2" */
  PORTRELAY_GAME_MSFS2024 = 15,           /* "MSFS2024" */
  PORTRELAY_GAME_ASSETTO_CORSA_EVO = 16,  /* "AssettoCorsaEvo" */
  PORTRELAY_GAME_TRUCK_SIM = 17           /* "ETSM2/AMT" */
};
#define PORTRELAY_GAME_COUNT 18

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Version ---- */

/* The library's version, "MAJOR.MINOR.PATCH" as its build defines it (also
 * the first line it logs, "PortRelay " + version). A static string: never
 * freed, never changes. */
PORTRELAY_API const char* getPortRelayVersion(void);

/* ---- Engine control ---- */

/* Starts the engine thread, and beside it the process watch: a thread that,
 * while a game is attached, asks about once a second whether the game's
 * process still runs (a process-list query takes milliseconds, too long for
 * the 2-ms cycle). Returns 1 both when they were started and when they run
 * already (then nothing else happens); 0 when a thread could not be created
 * (a later call may try again). Thread start sets precise timer mode
 * and resets the engine: the output is suspended and the fade restarts. */
PORTRELAY_API int32_t startGamesource_Thread(void);

/* Stops the engine thread and waits until it has ended (see Lifecycle);
 * returns the previous value of the "stopped" flag (1 when it was already
 * stopped). The attached game's telemetry stays open and getGameID still names
 * it until the next start. Must not be called from the engine thread; must be
 * called before the library is unloaded. */
PORTRELAY_API bool stopGamesource_Thread(void);

/* 1: the rig is ready (the engine reads and sends); 0: not ready (the
 * engine stays attached but reads and sends nothing). A change of state
 * restarts the 4000-ms output fade, which runs on the time of running motion
 * only: after any not-ready stretch the outputs take 4000 ms to reach their
 * live values. Other values do nothing. */
PORTRELAY_API void setMotionsystemready(int32_t ready);

/* Nonzero: precise 2000-µs wait (sleeps to shortly before the period's end,
 * by how late the thread's sleeps have been waking, and spins the rest); 0: a
 * sleeping wait that carries its timing error (at most 20 ms of it) and so
 * keeps 500 cycles a second on average without a busy core. Thread start sets
 * precise mode: call this after startGamesource_Thread. */
PORTRELAY_API void setTimerPrecision(int32_t mode);

/* ---- Game ---- */

/* Flight simulator (ids 2 "MSFS2020" and 15 "MSFS2024"): the engine reaches it
 * through the simulator's client connection under the client name
 * "Tiltaverse", configured as the simulator's own client library is: a file
 * "SimConnect.cfg" in the common documents folder, then in the user's
 * Documents folder, then in the host's current directory (each later file
 * overrides the keys it sets), section [SimConnect] with the keys Protocol
 * (Auto, Pipe, IPv4 or IPv6), Address, Port, MaxReceiveSize and DisableNagle.
 * Without a file the local pipe is tried, then the TCP ports the simulator
 * leaves in the registry. On Linux there is neither pipe nor registry: a
 * host reaches the simulator over TCP only, with a file like
 *     [SimConnect]
 *     Protocol=IPv4
 *     Address=127.0.0.1         (the machine the simulator runs on)
 *     Port=500                  (the port its server listens on)
 * in ~/Documents or the current directory. Detection also needs the
 * simulator's process in the local process list: a simulator running under a
 * compatibility layer on the same machine is found; one on another machine is
 * reached by the file but never detected. */

/* Id 0..17 of the detected game (enum PortRelayGameId, with the names), in
 * the registry's priority order; -1 for none.
 *
 * A game found by its shared memory counts only while that memory moves: its
 * page must say the game is live (where the layout has such a field) and must
 * have changed between each of three detection tests in a row. A section that
 * merely exists (the Proton bridge holds every game's section, and a killed
 * bridge leaves zero-filled files behind) is never a game. While attached, the
 * engine lets the game go (output suspended, fan to 0, detection again):
 *   - within about a second once the process its detection looked for has
 *     ended (games detected by a process);
 *   - about 2.25 s after its page last moved (250 ms, then 1000 cycles
 *     without a sample). A paused game stands still too and is let go the same
 *     way; detection finds it again as soon as it moves, and the output fades
 *     back in over 4000 ms;
 *   - as before, after 1000 cycles (about 2 s) without a sample from any game.
 * Each attach starts the game-data record cleared: a channel the game does not
 * fill reads 0, not the previous game's value. */
PORTRELAY_API int32_t getGameID(void);

/* Writes the NUL-terminated name of the detected game, or "No Game online";
 * the buffer needs PORTRELAY_GAME_NAME_SIZE (21) bytes. A null buffer is ignored. */
PORTRELAY_API void getGameName(char* buffer);

/* Milliseconds between the last two samples of the attached game. */
PORTRELAY_API double getGameTimeFrame(void);

/* Length of the last engine cycle in milliseconds (about 2.0); 0 while no
 * motion runs (searching, not ready) and until the first cycle after a
 * restart has completed. */
PORTRELAY_API double getMotionDataTimeFrame(void);

/* Why a running game may not be detected, for a host that explains it: what
 * the latest detection test of game `gameId` (0..17) found, as bits: 1 its
 * telemetry (a datagram on its port, its shared memory moving, its client
 * connection), 2 one of its processes. Games whose test needs both report
 * them: 1 alone means telemetry arrives but the process it needs does not run
 * (for example datagrams on port 4321 but no X-Plane.exe), 2 alone the
 * reverse (the game runs but sends nothing: in a menu, or its telemetry
 * output is off). Reported by the tests of ids 0, 1, 2, 4, 7, 10, 13, 14, 15,
 * 16 and 17; 0 for the other games. A part the test did not
 * reach counts as not found. Detection runs only while no game is attached
 * (the values stay from its last pass then). Returns -1 for another id. Any
 * thread; does not block. */
PORTRELAY_API int32_t getDetectionClues(int32_t gameId);

/* Stalls of the engine thread, for a host that warns of them. Stores in
 * *longCycles the number of engine cycles longer than 10 ms since the engine
 * thread last started (startGamesource_Thread; it stops counting at
 * INT32_MAX), and in *longestMs the longest engine cycle, in milliseconds,
 * that ended within the last 10 seconds (0 when none did: no motion ran).
 * Only cycles of the running state count (attached and motionsystemready), a
 * cycle when it has ended. Any thread; does not block. Null arguments are
 * ignored; on failure both are set to 0. */
PORTRELAY_API void getEngineStalls(int32_t* longCycles, double* longestMs);

/* Always 44, although the game-data array (getGameData) holds 43 values:
 * kept for hosts that rely on it; use the count getGameData stores. */
PORTRELAY_API int32_t getGameDataCount(void);

/* Stores the address of the engine's live game-data array (43 doubles) and
 * the count 43. Index 0 is always 0.0; indexes 1..41 are the channels named
 * by getGameDataNames (accelerations in m/s², angles in degrees, rates in
 * degrees per second); index 42 is the engine's belt-mix sum. The engine
 * thread rewrites the array every cycle without a lock, so one read may mix
 * two cycles. The address stays valid until the library is unloaded; the
 * host must not write to it. Null arguments are ignored. */
PORTRELAY_API void getGameData(double** data, int32_t* count);

/* Stores the address of the first channel name ("lateral_speed") and the count
 * 43. The names are fixed-width entries of 16 bytes, NUL-terminated: entry n
 * (0..42) starts at first + 16 * n and names game-data index n + 1 (entry 0,
 * "lateral_speed", is index 1); the last two entries are empty. Static,
 * read-only storage, valid until the library is unloaded. */
PORTRELAY_API void getGameDataNames(const char** firstName, int32_t* count);

/* ---- Cues, profiles and limits ---- */

/* Kind 0: AIR cues, 1: GROUND cues, 2: the 23 outputs, 3: the fade start
 * values. Stores the address of that live array (23 doubles, indexed by cue
 * slot) and the count 23; any other kind writes nothing. Live like
 * getGameData: rewritten by the engine thread every cycle, valid until the
 * library is unloaded, read-only for the host. */
PORTRELAY_API void getMotionCueData(int32_t kind, double** data, int32_t* count);

/* Copies the last motion frame sent to the rig, 36 bytes, into the buffer;
 * the copy is always one whole frame. All zero before the first frame. A null
 * buffer is ignored. Layout:
 *   bytes 0-1    0xFC 0xFC
 *   bytes 2-25   six 32-bit IEEE floats, little-endian: outputs 0..5 (sway,
 *                surge, heave, yaw, roll, pitch), each clamped to its rig limits.
 *                The library does not know the units or range the rig
 *                controller expects: the host chooses them through the
 *                filter chains (GAIN) and the rig limits, as its controller
 *                firmware defines them.
 *   bytes 26-29  belt value: output 10 limited to 0..4294967295, unsigned
 *                32-bit, big-endian
 *   bytes 30-33  fan value: output 21, the same way
 *   bytes 34-35  0x0A 0x0D
 * A NaN output repeats the field's last value; an infinite one is limited
 * like any other value. */
PORTRELAY_API void getOutputData(uint8_t* buffer);

/* Stores the low byte of active as the profile's active flag of the slot
 * (0 switches the slot off: it yields 0.0); then, whatever the arguments,
 * restarts the output fade. The GROUND profile's slots 10..22 are never
 * evaluated. What each slot carries:
 *   slot  input (game-data name)          feeds
 *   0     lateral_accel_g (limited)       output 0, sway
 *   1     longitu_accel_g (limited)       output 1, surge
 *   2     vertica_accel_g (limited)       output 2, heave
 *   3     yaw_speed (limited)             output 3, yaw
 *   4     roll_speed (limited)            output 4, roll
 *   5     pitch_speed (limited)           output 5, pitch
 *   6     lateral_accel_g (limited)       output 4 (roll tilt) and output 6
 *   7     longitu_accel_g (limited)       output 5 (pitch tilt) and output 7
 *   8     roll_position                   output 4 and output 8
 *   9     pitch_position                  output 5 and output 9
 *   10    belt sum (index 42)             output 10, the frame's belt value
 *   11-14 longitu_accel_g, vertica_accel_g, roll_speed, pitch_speed: the belt
 *         components, summed with the AIR belt weights 1, 2, 4, 5
 *   15-18 0.0 (the chain generates)       outputs 0..3
 *   19    0.0                             output 4
 *   20    0.0                             output 5
 *   21    speed                           output 21, the fan value and byte
 *   22    none                            nothing
 * Slots 0..9 of both profiles are cross-faded by the AIR/GROUND weights;
 * slots 10..21 use the AIR profile only. */
PORTRELAY_API void setActiveAxis(int32_t profile, int32_t slot, int32_t active);

/* Belt-mix weight of game-data index 0..42 for profile 0 or 1, accepted in
 * -1000..1000 (anything else changes nothing); a changed weight restarts the
 * fade. Only the AIR
 * profile's weights 1, 2, 4 and 5 take effect: they weigh cue slots 11, 12,
 * 13 and 14 into the belt sum (game-data index 42, cue slot 10). The others
 * are stored and never used. */
PORTRELAY_API void setBelt_Mix(int32_t profile, int32_t index, double weight);

/* Rig limits (min, max) of output slot 0..22, in the units of the outputs;
 * only outputs 0..5 are clamped to them, in the motion frame (as 32-bit
 * floats; min wins below it and max above it, also when min > max). The
 * default (0, 0) holds every axis at 0.0: the rig does not move until the host
 * sets its limits. Bounds are accepted in -1e9..1e9: a call with a bound
 * outside (NaN and infinities too) changes nothing. A call that changes the
 * stored pair restarts the fade; the output rate limit, applied after this
 * clamp, eases the rig to the new limits. */
PORTRELAY_API void SetRigDofLimitValue(int32_t slot, double min, double max);

/* Input limits (min, max) of cue slots 0..7, in the units of the slot's input
 * (m/s² for slots 0..2, 6 and 7, degrees per second for 3..5): the game-data
 * value is clamped to them before the slot's chain. The default (0, 0) holds
 * these slots' inputs at 0.0. Slots 8 and 9 always get (-360, 360) degrees,
 * whatever is passed; other slots: nothing. Bounds are accepted in -1e9..1e9:
 * a call with a bound outside (NaN and infinities too) changes nothing. A
 * call that changes the stored pair restarts the fade. */
PORTRELAY_API void SetInputDofLimitValue(int32_t slot, double min, double max);

/* ---- Output rate limit and park ----
 *
 * Every motion frame passes, last of all, through a rate limit: each of its
 * channels moves at most (rate x 2 ms) from the frame before. The step is
 * counted per frame, not per elapsed time, so neither a stalled engine cycle,
 * nor a jump in the game's data, nor a limit changed on a moving rig, nor
 * output resuming after a refused filter string can make the rig jump.
 * Channels: 0..5 the rig axes (sway, surge, heave, yaw, roll, pitch) in the
 * units of the outputs, default 20.0 units per second (0.04 per frame, 0.1 s
 * for a full +-1 travel: road bumps through a car profile's heave pass
 * nearly unchanged); 6 the belt value, default 0 (free: its scale is the belt
 * controller's). The fan value is not limited. */

/* Rate limit of channel 0..6 in units per second: a positive finite value
 * limits the channel, 0 switches its limit off. Returns 1 when stored, 0 for
 * another channel or a negative, NaN or infinite rate (nothing stored). */
PORTRELAY_API int32_t setOutputRateLimit(int32_t channel, double unitsPerSecond);

/* durationMs > 0 parks the rig: every channel of the motion frame (the six
 * axes, belt and fan) ramps from the frame last sent to 0 (neutral), reaching
 * it within durationMs (clamped to 500..10000 ms; the rate limit still
 * applies, so a channel further than rate x duration from 0 takes longer),
 * and stays there. While the rig is ready (setMotionsystemready(1)) and the
 * engine thread runs, frames keep flowing every 2 ms during a park, also
 * when no game is attached and while output is suspended; the engine still
 * searches for games and computes the live outputs. A new call restarts the
 * ramp from where the rig is. 0 (or less) releases the park: the live
 * outputs fade in from neutral over the usual 4000 ms. A park outlasts
 * stopGamesource_Thread: after a new start the rig stays at neutral until
 * the park is released. Returns 1 (0 only if
 * the engine object cannot be created). */
PORTRELAY_API int32_t parkRig(int32_t durationMs);

/* 0: not parked; 1: moving to neutral (also right after parkRig, until the
 * engine thread sends a neutral frame); 2: parked (the last frame sent is all
 * 0). */
PORTRELAY_API int32_t getParkStatus(void);

/* The profile the attached game selects: 0 (AIR) or 1 (GROUND); -1 only in
 * a cycle in which no game is detected. 0 after every engine reset. */
PORTRELAY_API int32_t getactiveProfil(void);

/* Output fade progress in whole percent, 0..100 (100 when idle). The fade
 * blends the outputs from their values in the last frame sent to their live
 * values, before the rig limits. Reads 0 while the engine searches for a game
 * or the rig is not ready (the fade restarts then and only advances with
 * running motion whose output is not suspended). */
PORTRELAY_API double getTransitionStatus(void);

/* AIR and GROUND profile weights in whole percent, limited to 0..100; a
 * change of profile cross-fades them over 100 cycles (0.2 s). */
PORTRELAY_API double getProfilAirTransitionStatus(void);
PORTRELAY_API double getProfilGrdTransitionStatus(void);

/* ---- Motion cancel ----
 *
 * While active, the engine publishes the pose the rig is driven to, smoothed,
 * in the named shared memory "Local\motionRigPose" (512 bytes; on Linux the
 * POSIX object "/motionRigPose"): six little-endian IEEE doubles at offset 0,
 * outputs 0..5 (sway, surge, heave, yaw, roll, pitch) in the units of the
 * outputs before the rig limits, written after every frame sent, without a
 * lock (a reader may see values of two cycles). Each cycle
 * pose = pose + (gain x output - pose) / filter. */

/* Nonzero: activates motion cancel, creates or opens the section and sets
 * the filter back to 60.0 (cycles); the gain is kept. 0: deactivates and
 * releases the section. The pose keeps its values while inactive. */
PORTRELAY_API void activateMotionCancel(uint8_t enable);

/* Smoothing divisor in cycles (1.0 publishes gain x outputs unsmoothed),
 * accepted in 1.0..1e6. 1 when stored; 0 when motion cancel is not active or
 * the value is outside that range or NaN (nothing stored). */
PORTRELAY_API bool setFilterMotionCancel(double value);

/* Gain on the outputs, accepted in -1000..1000. 1 when stored; 0 when motion
 * cancel is not active or the value is outside that range or NaN (nothing
 * stored). */
PORTRELAY_API bool setGainMotionCancel(double value);

/* ---- Snapshots ----
 *
 * Every running cycle (500 a second) the engine records a calculation
 * snapshot (23 doubles: value i is AIR cue i for slots 11..20 and output i for
 * every other slot, after the fade) and an acceleration snapshot (the 43
 * game-data values). Each history holds the newest 150 records (0.3 s) and
 * drops the oldest; nothing is recorded while searching or not ready. */

/* Drain a history: return every record held, oldest first, as one array of
 * *count records (23 or 43 doubles each, no header), and empty the history.
 * *count is set to the number of records; with 0 records (or when the array
 * cannot be allocated) the result is null. With a null count the history is
 * drained all the same and its records are lost: pass a count. The caller
 * owns the array and releases it with FreeCalculationSnapshots or
 * FreeAccelerationSnapshots; any thread, never blocked by the engine beyond a
 * pointer swap. */
PORTRELAY_API double* GetCalculationSnapshots(int32_t* count);
PORTRELAY_API double* GetAccelerationSnapshots(int32_t* count);

/* The frame history, drained the same way: one record of
 * PORTRELAY_FRAME_RECORD (10) doubles per cycle in which the engine ran
 * motion, appended right after that cycle's output: [0] the cycle's time in
 * seconds on the system's monotonic performance counter (CLOCK_MONOTONIC,
 * QueryPerformanceCounter), [1] the attached game's id, [2..7] sway, surge,
 * heave, yaw, roll and pitch as the frame carried them (after the rig limits),
 * [8] the belt and [9] the fan value of the frame; [2..9] are NaN in a cycle
 * that sent no frame (output suspended). Its records pair one to one, in order,
 * with the calculation and acceleration records of the same cycles. Released
 * with FreeFrameSnapshots. */
#define PORTRELAY_FRAME_RECORD 10
PORTRELAY_API double* GetFrameSnapshots(int32_t* count);
PORTRELAY_API void FreeFrameSnapshots(double* snapshots);

/* Release an array returned by either getter (the two are the same routine);
 * null is accepted. */
PORTRELAY_API void FreeCalculationSnapshots(double* snapshots);
PORTRELAY_API void FreeAccelerationSnapshots(double* snapshots);

/* Address of the newest calculation snapshot's 23 values, live: rewritten by
 * the engine thread every running cycle without a lock; valid until the
 * library is unloaded; read-only for the host. */
PORTRELAY_API double* GetPositionSnapshot(void);

/* ---- Filter strings ---- */

/* Parses the NUL-terminated filter string (for example
 * "EMALP(GAIN(VALUE;2);10)"; at most 128 filter nodes, VALUE included) and
 * installs it as the chain of cue slot 0..22 of profile 0 or 1. Always restarts
 * the 4000-ms output fade and suspends rig output first; the fade starts from
 * the last frame sent and waits while output stays suspended. Returns 1 when the string is valid and the slot exists: the
 * slot's chain is replaced (its filter memory starts afresh) and output
 * resumes. Otherwise returns 0: the slot keeps its chain and output stays
 * suspended until the engine next attaches a game. A null pointer counts as an
 * invalid string. Safe while the engine thread runs; the call returns once the
 * engine no longer uses the old chain. */
PORTRELAY_API bool setcheckFilterstring(int32_t profile, int32_t slot, const char* filter);

/* Checks a NUL-terminated filter string with the parser setcheckFilterstring
 * uses, without installing it: no engine state is read or changed, so it is
 * safe at any time, also while the engine runs. Returns 1 when the string is
 * valid: text receives the chain, one node per line from the outermost
 * keyword to VALUE, each line indented two spaces deeper than the one before,
 * the keyword followed by its numbers as the chain stores them ("EMALP 10"),
 * and *errorPosition is set to -1. Returns 0 when it is invalid: text receives
 * one line saying why (prefixed by the keyword concerned, "EMALP: ...", in
 * which bytes that are not well-formed UTF-8 are written as \xHH), and
 * *errorPosition the byte offset in filter where the offending part starts
 * (a null filter gives 0). Returns -1 when the check itself failed (out of
 * memory). text receives at most textSize bytes, cut to fit and always
 * NUL-terminated; a null text or a textSize of 0 or less receives nothing; a
 * null errorPosition is ignored. */
PORTRELAY_API int32_t checkFilterstring(const char* filter, char* text, int32_t textSize, int32_t* errorPosition);

/* ---- Rig link and messages ----
 *
 * Messages for the rig controller are byte buffers ending with the pair 0x0A
 * 0x0D (line feed, carriage return): a message is the bytes up to and
 * including the first such pair whose 0x0D lies at index 511 or lower, so 2 to
 * 512 bytes. The library keeps five queues of at most 150 messages (151 for
 * received frames); refused messages are dropped. The rig is reached over a
 * serial port served by startPortRelay_Thread, or over UDP by the network
 * link threads; the serial link adds the CRC-16 the rig checks.
 *
 * Buffers given to sendMessagemmf and autoMessagemmf: the library reads them
 * from byte 0 forward, one byte at a time, and stops right after the first
 * 0x0A 0x0D pair; it reads byte i only when no pair ended before it, and never
 * byte 512 or later. So a buffer must hold its terminator, or else 512
 * readable bytes: a message of n bytes (its terminator at n-2, n-1) needs n
 * readable bytes; a buffer without a terminator in its first 512 bytes is
 * read in full (512 bytes) and refused. */

/* The relay loop's thread body: the host calls it on a thread of its own; it
 * serves the rig's serial port (scanning for the rig while autoconnect is
 * on): a cycle as soon as the engine queues a motion frame, and every 2 ms
 * while no frames come; it holds the sections "Tiltaverse_tx" and
 * "Tiltaverse_rx" open. Returns 1 when stopPortRelay_Thread ended it (at once
 * when another thread runs the loop already); returns 0 at once, without
 * running, when a stop was waiting for it (see stopPortRelay_Thread). */
PORTRELAY_API int32_t startPortRelay_Thread(void);

/* Asks the relay loop and the network link threads to end and returns once
 * none of them runs (at once when none ran); the library may be unloaded
 * then. Must not be called from those threads. A stop always wins, also when
 * it comes before the host's thread has entered its body: for each of the
 * three bodies (relay loop, multicast sender, UDP listener) that does not run
 * when this is called, the stop is kept for 500 ms, and that body's entry
 * within them returns at once without running (a thread the host had just
 * created takes milliseconds to enter). A start that comes later than 500 ms
 * after the stop runs as usual; a host that means to start a body within
 * 500 ms of a stop (a serial link stopped, the UDP link started at once) waits
 * them out first (getPortRelayThreads shows the kept stops and whether a
 * body runs). */
PORTRELAY_API void stopPortRelay_Thread(void);

/* Which link thread bodies run now, as bits: 1 the relay loop
 * (startPortRelay_Thread), 2 the multicast sender
 * (startUPDMulticastSenderThread), 4 the UDP listener (startUPDListenThread);
 * a body counts from its entry to its return. The same bodies shifted left
 * by 3 (8, 16, 32): a kept stop waits for that body, whose start within the
 * stop's 500 ms returns at once. 0 when none runs and no stop waits. */
PORTRELAY_API int32_t getPortRelayThreads(void);

/* Queues a message for the rig: for the link that has heard the rig, or for
 * both while neither has. 1 when queued; -1 when no link runs, the pointer is
 * null, no terminator is found or the queue is full. The buffer is copied;
 * the bytes read are those stated above (the terminator, or 512 bytes). */
PORTRELAY_API int32_t sendMessagemmf(const uint8_t* message);

/* Queues a message that is sent repeatedly (once per 2-ms cycle, up to 12
 * times, or until a newer one is queued). Reads the buffer as sendMessagemmf
 * does. 1 when queued; 0 when refused ("no valid data" is printed when no
 * link runs or the message is invalid). */
PORTRELAY_API int32_t autoMessagemmf(const uint8_t* message);

/* Copies the oldest frame received from the rig, ending in 0x0A 0x0D, into
 * destination (at least 512 bytes) and returns its length; 0 when nothing
 * waits, leaving destination untouched. */
PORTRELAY_API int32_t readMessagemmf(uint8_t* destination);

/* 1 when a received frame waits for readMessagemmf, else 0. */
PORTRELAY_API int32_t newMessagemmf(void);

/* 1 while the serial rig port is identified or a network link thread was ever
 * started, and the relay loop or a network link thread runs; else 0. */
PORTRELAY_API int32_t isConnected(void);

/* 1 unless the link is paused. */
PORTRELAY_API int32_t isInterfaceRunning(void);

/* Pauses the link and closes the rig's serial port. Returns 1. */
PORTRELAY_API int32_t pauseInterface(void);

/* Resumes the link. With autoconnect on returns 1 at once (the relay loop
 * scans); otherwise connects to the standard port on the calling thread, up
 * to three attempts 500 ms apart (so it may block for seconds): 1 when the rig
 * identified itself, else 0. */
PORTRELAY_API int32_t resumeInterface(void);

/* Switch the relay loop's own scan of every COM port on or off. Return 1. */
PORTRELAY_API int32_t enableAutoconnect(void);
PORTRELAY_API int32_t disableAutoconnect(void);

/* Takes the port number after the first "COM" of a NUL-terminated text (for
 * example "COM5" or "\\.\COM5"; atoi rules, so "COMX" gives 0) as the
 * standard port of resumeInterface. 1 when taken, 0 (nothing changed) when
 * the text holds no "COM". */
PORTRELAY_API int32_t setStandartPort(const char* port);

/* The serial ports the relay loop's autoconnect scan would try, as it
 * enumerates them now (each call enumerates afresh, so a port plugged in or
 * out between calls shifts the indexes). For index 0, 1, 2, ... returns 1 and
 * fills: *comNumber, the port's COM number; friendlyName, the device's
 * friendly name (for example "USB-SERIAL CH340 (COM7)"; empty when no device
 * information names the port); hardwareIds, the device's hardware ids joined
 * by ';' (for example "USB\VID_1A86&PID_7523&REV_0254"); *rigController, 1
 * when one of them holds a USB id a rig controller uses (the ids the scan
 * accepts), else 0. Returns 0 for a negative index or one past the last port
 * (nothing written), -1 when the ports cannot be enumerated. The texts receive
 * at most their size in bytes, cut to fit and NUL-terminated; null pointers
 * and sizes of 0 or less are ignored. Does not open any port; safe while the
 * relay runs. */
PORTRELAY_API int32_t getSerialPortInfo(int32_t index, int32_t* comNumber, char* friendlyName,
                                        int32_t friendlyNameSize, char* hardwareIds, int32_t hardwareIdsSize,
                                        uint8_t* rigController);

/* The rig as the link knows it, for a host that shows it. Returns the
 * transport that talks to the rig: 0 none yet (searching, or the rig has not
 * answered), 1 the serial port, 2 UDP. Stores in *comNumber the COM number of
 * the rig's identified serial port (0 while none is); in *identity the value
 * of the rig's last identity reply (1 or 2; 0 before any identification); in
 * *level the level of the rig's last level report (a class-2 frame from the
 * rig: byte 5 x 100 + byte 4, signed bytes; -1 before one has arrived since
 * the last identification); in *linksLost how often, since the library was
 * loaded, the link lost a rig it reached (a port operation failed on the
 * identified serial port, or 8 s passed without a valid frame over UDP; a
 * pause or a stop is no loss); in *framesDropped the engine's motion frames
 * that the link talking to the rig refused since the library was loaded
 * because its transmit queue held 150 messages (frames made while no link
 * talks are not counted). The counters stop at INT32_MAX. Null arguments are
 * ignored; on failure 0 is returned and stored (-1 for the level). Any
 * thread; does not block. */
PORTRELAY_API int32_t getRigLinkStatus(int32_t* comNumber, int32_t* identity, int32_t* level, int32_t* linksLost,
                                       int32_t* framesDropped);

/* Length of the last relay cycle in milliseconds (while the engine sends
 * motion, the time between two of its frames); 0 while the relay loop
 * has no port open, is paused, or has not completed a cycle since it started. */
PORTRELAY_API double getOutputTimeFrame(void);

/* ---- UDP link to the rig ----
 *
 * Instead of the serial port the rig can be reached over UDP: the multicast
 * sender sends every queued message as one datagram (the CRC-16 in place of
 * the terminator; auto messages keep their terminator until the rig reports
 * firmware level 328 or more) to the group 232.11.12.14 port 51324, from the
 * IPv4 address of the connected wired Ethernet adapter with the lowest metric;
 * the UDP listener takes the rig's frames from the listen port (53241 unless
 * set; on the sender's adapter only once the sender has chosen one). UDP mode
 * starts with the first valid frame received while the rig has answered on
 * neither link, and belongs to the address that sent it: from then on
 * datagrams from any other address are dropped unread. It ends 8 s after that
 * address's last valid frame, which empties both transmit queues; motion
 * frames queued before it started are dropped, never sent late. The link is
 * serial or UDP, never both: while the rig talks over the serial link both
 * threads idle (datagrams wait unread), and while it talks over UDP the relay
 * idles.
 * What a host on the LAN can still do: before the rig has answered on either
 * link (for instance while the relay still scans for it), the first valid
 * frame from any address makes the link UDP with that address, for as long as
 * it keeps sending (8 s each); its frames then reach readMessagemmf, and a
 * level report from it sets the checksum of auto messages for the life of
 * the process. Once the rig has answered, nobody else is heard.
 * Both threads run at the highest priority the
 * system grants; the sender makes a pass as soon as the engine queues a
 * motion frame, and every 2 ms (ending with a short busy wait) while no
 * frames come.
 * Start order: set the group and port, then start the listener and the sender
 * on two threads of the host's own; stopPortRelay_Thread ends both (and waits
 * for them). If either thread ends on its own (no suitable adapter) the other
 * ends too. A failed send ends neither: it is logged, the message stays
 * queued and is sent again after 10 ms, then after delays doubling up to 1 s
 * while sends keep failing. Diagnostics go to the log file
 * Documents\tiltaverse\errorlog.txt. */

/* The multicast sender's thread body: returns only when the sender has ended
 * (stopped by stopPortRelay_Thread, or at once when no connected Ethernet
 * adapter with an IPv4 address exists or its socket cannot be bound; a failed
 * send is retried, see above). Never ends the process. */
PORTRELAY_API void startUPDMulticastSenderThread(void);

/* The UDP listener's thread body: opens the listen port and returns only when
 * stopPortRelay_Thread ends it (within about 100 ms). A port that cannot be
 * opened is logged; the listener then runs on and receives nothing. One pass
 * takes at most 16 datagrams and about 1 ms, however many arrive. */
PORTRELAY_API void startUPDListenThread(void);

/* Sets the multicast group of the next sender start from a NUL-terminated
 * dotted IPv4 text (four decimal numbers 0..255, leading zeros allowed, for
 * example "239.1.2.3") naming a multicast group, 224.0.0.0 to 239.255.255.255.
 * Any other address (broadcast, 0.0.0.0, unicast), invalid text or a null
 * pointer keeps the group in use. Either way one log line names the group and
 * port in use. A running sender keeps its group. */
PORTRELAY_API void setMulticastAddr(const char* address);

/* Sets the listen port of the next listener start to the low 16 bits of port
 * (70000 gives 4464) and logs it. A running listener keeps its port. */
PORTRELAY_API void setUDPport(int32_t port);

/* ---- Diagnostics ---- */

/* Receives one diagnostic text of the library: level 0 for a line it would
 * print on standard output, 1 for one on standard error; text is
 * NUL-terminated UTF-8 and holds exactly what would have been printed (the
 * texts carry their own line ends, some none: "COM3 ", "no valid data");
 * context is the host's pointer given with the callback. */
typedef void (*PortRelayDiagnosticCallback)(int32_t level, const char* text, void* context);

#define PORTRELAY_DIAGNOSTICS_OFF 0
#define PORTRELAY_DIAGNOSTICS_CONSOLE 1
#define PORTRELAY_DIAGNOSTICS_CALLBACK 2

/* Where the library's untimed diagnostics go (not the log file of the UDP
 * link): PORTRELAY_DIAGNOSTICS_CONSOLE, standard output and standard error as
 * before (the default); PORTRELAY_DIAGNOSTICS_OFF, nowhere;
 * PORTRELAY_DIAGNOSTICS_CALLBACK, to callback with context. Returns 1 when
 * taken, 0 (nothing changed) for another destination or a null callback. The
 * callback is called on whatever thread of the library prints (engine, relay,
 * scan, network threads, the host's own threads): it must return quickly and
 * must not call setDiagnosticOutput (calls are serialised under one lock);
 * after setDiagnosticOutput has returned, a replaced callback is not called
 * again, so a host removes its callback this way before it unloads. */
PORTRELAY_API int32_t setDiagnosticOutput(int32_t destination, PortRelayDiagnosticCallback callback, void* context);

/* ---- Fan controller ---- */

/* Configures the engine's fan controller (see wind_serial.h): port name such as
 * L"COM7", line speed, frame format such as L"8N1" and the pause between
 * speed bytes in ms. Returns 1 when the port name names an existing device,
 * else 0. Refused with 0, leaving the controller as it was: a null or empty
 * port name, a line speed of 0 or less, a pause outside 1..1000 ms, and a
 * frame format other than data bits 5..8, parity N, E or O (either case) and
 * stop bits 1 or 2. The engine starts the controller when its fan slot
 * produces output. */
PORTRELAY_API int32_t initWindSerial(const wchar_t* portName, int32_t baudRate, const wchar_t* frameFormat,
                                     int32_t sendIntervalMs);

#ifdef __cplusplus
}
#endif

#endif /* PORTRELAY_PORTRELAY_H */
