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
#include <wchar.h>
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

/* Flight simulator (ids 2 "MSFS2020" and 15 "MSFS2024"): the engine reaches it
 * through the simulator's client connection under the client name
 * "Tiltaverse", configured as the simulator's own client library is: a file
 * "SimConnect.cfg" in the common documents folder, then in the user's
 * Documents folder, then in the host's current directory (each later file
 * overrides the keys it sets), section [SimConnect] with the keys Protocol
 * (Auto, Pipe, IPv4 or IPv6), Address, Port, MaxReceiveSize and DisableNagle.
 * Without a file the local pipe is tried, then the TCP ports the simulator
 * leaves in the registry. On Linux there is neither pipe nor registry: a host
 * reaches a simulator on another machine over TCP only, with a file like
 *     [SimConnect]
 *     Protocol=IPv4
 *     Address=192.168.1.20      (the simulator's machine)
 *     Port=500                  (the port its server listens on)
 * in ~/Documents or the current directory; the simulator's process must also
 * show in the local process list (e.g. started under a compatibility layer on
 * the same machine), or detection does not pass. */

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

/* ---- Rig link and messages ----
 *
 * Messages for the rig controller are byte buffers ending with the pair 0x0A
 * 0x0D (line feed, carriage return): a message is the bytes up to and
 * including the first such pair whose 0x0D lies at index 511 or lower, so 2 to
 * 512 bytes. The library keeps five queues of at most 150 messages (151 for
 * received frames); refused messages are dropped. The rig is reached over a
 * serial port served by startPortRelay_Thread, or over UDP by the network
 * link threads; the serial link adds the CRC-16 the rig checks. */

/* The relay loop's thread body: the host calls it on a thread of its own; it
 * serves the rig's serial port every 2 ms (scanning for the rig while
 * autoconnect is on) and holds the sections "Tiltaverse_tx" and
 * "Tiltaverse_rx" open. Returns 1 when stopPortRelay_Thread ended it (at once
 * when another thread runs the loop already). */
PORTRELAY_API int32_t startPortRelay_Thread(void);

/* Asks the relay loop and the network link threads to end and returns once
 * none of them runs (at once when none ran); the library may be unloaded
 * then. Must not be called from those threads. */
PORTRELAY_API void stopPortRelay_Thread(void);

/* Queues a message for the rig: for the link that has heard the rig, or for
 * both while neither has. 1 when queued; -1 when no link runs, the pointer is
 * null, no terminator is found or the queue is full. The buffer is copied. */
PORTRELAY_API int32_t sendMessagemmf(const uint8_t* message);

/* Queues a message that is sent repeatedly (once per 2-ms cycle, up to 12
 * times, or until a newer one is queued). 1 when queued; 0 when refused
 * ("no valid data" is printed when no link runs or the message is invalid). */
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

/* Length of the last relay cycle in milliseconds. */
PORTRELAY_API double getOutputTimeFrame(void);

/* ---- UDP link to the rig ----
 *
 * Instead of the serial port the rig can be reached over UDP: the multicast
 * sender sends every queued message as one datagram (the CRC-16 in place of
 * the terminator; auto messages keep their terminator until the rig reports
 * firmware level 328 or more) to the group 232.11.12.14 port 51324, from the
 * IPv4 address of the connected wired Ethernet adapter with the lowest metric;
 * the UDP listener takes the rig's frames from the listen port (53241 unless
 * set). UDP mode starts with the first valid frame received and ends after 8 s
 * without one, which empties both transmit queues; motion frames queued
 * before it started are dropped, never sent late. While the rig talks over the
 * serial link both threads idle. Both threads run at the highest priority the
 * system grants; the sender closes every 2-ms pass with a short busy wait.
 * Start order: set the group and port, then start the listener and the sender
 * on two threads of the host's own; stopPortRelay_Thread ends both (and waits
 * for them). If either thread ends on its own (no suitable adapter, a failed
 * send) the other ends too. Diagnostics go to the log file
 * Documents\tiltaverse\errorlog.txt. */

/* The multicast sender's thread body: returns only when the sender has ended
 * (stopped by stopPortRelay_Thread, or at once when no connected Ethernet
 * adapter with an IPv4 address exists or its socket cannot be bound; a failed
 * send ends it too). Never ends the process. */
PORTRELAY_API void startUPDMulticastSenderThread(void);

/* The UDP listener's thread body: opens the listen port and returns only when
 * stopPortRelay_Thread ends it (within about 100 ms). A port that cannot be
 * opened is logged; the listener then runs on and receives nothing. */
PORTRELAY_API void startUPDListenThread(void);

/* Sets the multicast group of the next sender start from a NUL-terminated
 * dotted IPv4 text (four decimal numbers 0..255, leading zeros allowed, for
 * example "239.1.2.3"; the range is not checked). Invalid text or a null
 * pointer keeps the group in use. Either way one log line names the group and
 * port in use. A running sender keeps its group. */
PORTRELAY_API void setMulticastAddr(const char* address);

/* Sets the listen port of the next listener start to the low 16 bits of port
 * (70000 gives 4464) and logs it. A running listener keeps its port. */
PORTRELAY_API void setUDPport(int32_t port);

/* ---- Fan controller ---- */

/* Configures the engine's fan controller (see wind_serial.h): port name such as
 * L"COM7", line speed, frame format such as L"8N1" and the pause between
 * speed bytes in ms. Returns 1 when the port name names an existing device,
 * else 0. The engine starts the controller when its fan slot produces output. */
PORTRELAY_API int32_t initWindSerial(const wchar_t* portName, int32_t baudRate, const wchar_t* frameFormat,
                                     int32_t sendIntervalMs);

#ifdef __cplusplus
}
#endif

#endif /* PORTRELAY_PORTRELAY_H */
