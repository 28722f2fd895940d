/* PortRelay filter lab: the library's filter chains, evaluated offline.
 *
 * A companion library for tuning tools (the Python filter lab); it is built
 * from the same filter sources as the motion engine and is not shipped with
 * the host library. Every function is extern "C" and never lets an exception
 * out. Any thread may call any function; calls share no state.
 */
#ifndef PORTRELAY_LAB_H
#define PORTRELAY_LAB_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(BUILDING_PORTRELAY_LAB)
#define PORTRELAY_LAB_API __declspec(dllexport)
#else
#define PORTRELAY_LAB_API __declspec(dllimport)
#endif
#else
#define PORTRELAY_LAB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Length of one engine cycle in milliseconds: chains advance their memory
 * (low-pass state, sine phase, noise) by one step per cycle. */
#define PORTRELAY_LAB_CYCLE_MS 2.0

/* Parses the NUL-terminated filter string as the engine does and runs a fresh
 * chain over `count` input samples taken every `periodMs` milliseconds,
 * sample i at time i * periodMs. The chain steps once per 2-ms engine cycle,
 * cycle k at time 2k, on the newest sample at or before that time (as the
 * engine takes the newest game sample); output[i] is the chain's value after
 * the last cycle at or before sample i's time. With periodMs 2 that is one
 * step per sample. Returns the number of steps taken (0 for count 0), -1 when
 * the filter string is invalid, -2 for bad arguments (null pointers, count
 * below 0, a period that is not a finite number above 0, or more than 2^31-1
 * steps). On failure output is untouched. */
PORTRELAY_LAB_API int32_t portrelayLab_evaluate(const char* filter, const double* input, int32_t count,
                                                double periodMs, double* output);

/* Parses the filter string and stores the kind code of each node, outermost
 * keyword first and the terminal VALUE (0) last, into kinds (up to capacity
 * entries; kinds may be null when capacity is 0). Returns the number of
 * nodes of the chain (which may exceed capacity), or -1 when the string is
 * invalid, -2 when filter is null or capacity is below 0 or kinds is null
 * with a capacity above 0. Kind codes: 0 VALUE, 1 EMALP, 2 EMAHP, 3 MUL,
 * 4 GAIN, 5 LOGISTIC, 6 CROP, 7 ROLLOVER, 8 REMAP, 9 NOISE, 10 BITSCALE,
 * 11 BITSCALESIGNED, 12 SINUS, 13 ABS, 14 SETVALUE, 15 ADD, 16 SPIKE,
 * 17 EDYNLP, 18 LDYNLP. */
PORTRELAY_LAB_API int32_t portrelayLab_chainKinds(const char* filter, int32_t* kinds, int32_t capacity);

/* The keyword of a kind code ("EMALP", ...), "UNKNOWN" for any other code.
 * Static storage. */
PORTRELAY_LAB_API const char* portrelayLab_kindName(int32_t kind);

#ifdef __cplusplus
}
#endif

#endif /* PORTRELAY_LAB_H */
