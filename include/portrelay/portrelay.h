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
 * and arguments are one byte.
 */
#ifndef PORTRELAY_PORTRELAY_H
#define PORTRELAY_PORTRELAY_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#if defined(BUILDING_PORTRELAY)
#define PORTRELAY_API __declspec(dllexport)
#else
#define PORTRELAY_API __declspec(dllimport)
#endif
#else
#define PORTRELAY_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Engine control ---- */

/* Starts the engine thread. Returns 1 when it runs already (nothing else
 * happens), a nonzero value when it was started, and 0 when the thread could
 * not be created (a later call may try again). */
PORTRELAY_API int32_t startGamesource_Thread(void);

/* Stops the engine thread and waits until it has ended; returns the previous
 * value of the "stopped" flag (1 when it was already stopped). Must not be
 * called from the engine thread. */
PORTRELAY_API bool stopGamesource_Thread(void);

/* 1: the rig is ready (the engine reads and sends); 0: not ready. A change of
 * state restarts the 4000-ms output fade; other values do nothing. */
PORTRELAY_API void setMotionsystemready(int32_t ready);

/* Nonzero: precise 2000-µs wait (spins after at most one 1-ms sleep); 0: a
 * sleeping wait that carries its timing error. Thread start sets precise mode. */
PORTRELAY_API void setTimerPrecision(int32_t mode);

/* ---- Game ---- */

/* Id 0..17 of the detected game, in the registry's priority order; -1 for none. */
PORTRELAY_API int32_t getGameID(void);

/* Writes the NUL-terminated name of the detected game, or "No Game online";
 * the buffer needs 21 bytes. A null buffer is ignored. */
PORTRELAY_API void getGameName(char* buffer);

/* Milliseconds between the last two samples of the attached game. */
PORTRELAY_API double getGameTimeFrame(void);

/* Length of the last engine cycle in milliseconds. */
PORTRELAY_API double getMotionDataTimeFrame(void);

/* Always 44. */
PORTRELAY_API int32_t getGameDataCount(void);

/* Stores the address of the engine's live game-data array (43 doubles,
 * rewritten every cycle without a lock; valid for the life of the process) and
 * the count 43. Null arguments are ignored. */
PORTRELAY_API void getGameData(double** data, int32_t* count);

/* Stores the address of the first channel name ("lateral_speed") and the count
 * 43. The names are fixed-width entries of 16 bytes, NUL-terminated: name n
 * (0..42) starts at first + 16 * n; the last two are empty. Static storage. */
PORTRELAY_API void getGameDataNames(const char** firstName, int32_t* count);

/* ---- Cues, profiles and limits ---- */

/* Kind 0: AIR cues, 1: GROUND cues, 2: the 23 outputs, 3: the fade start
 * values. Stores the address of that live array (23 doubles) and the count
 * 23; any other kind writes nothing. */
PORTRELAY_API void getMotionCueData(int32_t kind, double** data, int32_t* count);

/* Copies the last 36-byte motion frame into the buffer; a null buffer is ignored. */
PORTRELAY_API void getOutputData(uint8_t* buffer);

/* Stores the low byte of active as the profile's active flag of the slot; then,
 * whatever the arguments, restarts the output fade. */
PORTRELAY_API void setActiveAxis(int32_t profile, int32_t slot, int32_t active);

/* Belt-mix weight of game-data index 0..42 for profile 0 or 1. */
PORTRELAY_API void setBelt_Mix(int32_t profile, int32_t index, double weight);

/* Rig limits (min, max) of output slot 0..22; outputs 0..5 are clamped to
 * them in the motion frame. */
PORTRELAY_API void SetRigDofLimitValue(int32_t slot, double min, double max);

/* Input limits of cue slots 0..7; slots 8 and 9 always get (-360, 360);
 * other slots: nothing. */
PORTRELAY_API void SetInputDofLimitValue(int32_t slot, double min, double max);

/* 0 (AIR) or 1 (GROUND): the profile the attached game selects. */
PORTRELAY_API int32_t getactiveProfil(void);

/* Output fade progress in whole percent (100 when idle). */
PORTRELAY_API double getTransitionStatus(void);

/* AIR and GROUND profile weights in whole percent, limited to 0..100. */
PORTRELAY_API double getProfilAirTransitionStatus(void);
PORTRELAY_API double getProfilGrdTransitionStatus(void);

/* ---- Filter strings ---- */

/* Parses the NUL-terminated filter string (for example
 * "EMALP(GAIN(VALUE;2);10)") and installs it as the chain of cue slot 0..22 of
 * profile 0 or 1. Always restarts the 4000-ms output fade and suspends rig
 * output first. Returns 1 when the string is valid and the slot exists: the
 * slot's chain is replaced (its filter memory starts afresh) and output
 * resumes. Otherwise returns 0: the slot keeps its chain and output stays
 * suspended until the engine next attaches a game. A null pointer counts as an
 * invalid string. Safe while the engine thread runs; the call returns once the
 * engine no longer uses the old chain. */
PORTRELAY_API bool setcheckFilterstring(int32_t profile, int32_t slot, const char* filter);

#ifdef __cplusplus
}
#endif

#endif /* PORTRELAY_PORTRELAY_H */
