"""The C declarations of every export of portrelay.h, for ctypes.

Each entry: name -> (result type, argument types, meaning). The meanings are
the header's, shortened. A library that lacks an export (an older build) still
loads; calling the missing function raises MissingExportError.
"""

import ctypes
from ctypes import POINTER, c_bool, c_char_p, c_double, c_int32, c_uint8, c_void_p, c_wchar_p

c_double_p = POINTER(c_double)

# setDiagnosticOutput's callback: (level, UTF-8 text, context). Keep the
# object alive for as long as the library may call it.
DIAGNOSTIC_CALLBACK = ctypes.CFUNCTYPE(None, c_int32, c_char_p, c_void_p)

EXPORTS = {
    # ---- Version ----
    "getPortRelayVersion": (c_char_p, [], "The library's version, MAJOR.MINOR.PATCH (a static string)."),
    # ---- Engine control ----
    "startGamesource_Thread": (c_int32, [],
        "Starts the engine thread. 1 when it runs already, nonzero when started, 0 when the "
        "thread could not be created."),
    "stopGamesource_Thread": (c_bool, [],
        "Stops the engine thread and waits for its end; returns the previous 'stopped' flag. "
        "Never call from the engine thread."),
    "setMotionsystemready": (None, [c_int32],
        "1: the rig is ready (the engine reads and sends); 0: not ready. A change restarts the "
        "4000-ms output fade; other values do nothing."),
    "setTimerPrecision": (None, [c_int32],
        "Nonzero: precise 2000-us wait; 0: sleeping wait that carries its error."),
    # ---- Game ----
    "getGameID": (c_int32, [], "Id 0..17 of the detected game; -1 for none."),
    "getGameName": (None, [c_char_p],
        "Writes the NUL-terminated name of the detected game, or 'No Game online' (21 bytes)."),
    "getGameTimeFrame": (c_double, [], "Milliseconds between the last two samples of the game."),
    "getMotionDataTimeFrame": (c_double, [], "Length of the last engine cycle in milliseconds."),
    "getEngineStalls": (None, [POINTER(c_int32), POINTER(c_double)],
        "Engine cycles longer than 10 ms since the thread started, and the longest cycle of the last 10 s in ms."),
    "getGameDataCount": (c_int32, [], "Always 44."),
    "getDetectionClues": (c_int32, [c_int32],
        "What the latest detection test of a game found: 1 its telemetry, 2 one of its processes; -1 for another id."),
    "getGameData": (None, [POINTER(c_double_p), POINTER(c_int32)],
        "Address of the live game-data array (43 doubles, rewritten every cycle) and the count 43."),
    "getGameDataNames": (None, [POINTER(c_char_p), POINTER(c_int32)],
        "Address of the first channel name and the count 43; names are 16-byte entries."),
    # ---- Cues, profiles and limits ----
    "getMotionCueData": (None, [c_int32, POINTER(c_double_p), POINTER(c_int32)],
        "Kind 0 AIR cues, 1 GROUND cues, 2 the 23 outputs, 3 fade start values: address of that "
        "live array and the count 23; other kinds write nothing."),
    "getOutputData": (None, [POINTER(c_uint8)], "Copies the last 36-byte motion frame."),
    "setActiveAxis": (None, [c_int32, c_int32, c_int32],
        "Active flag (low byte) of profile 0/1, slot 0..22; always restarts the output fade."),
    "setBelt_Mix": (None, [c_int32, c_int32, c_double],
        "Belt-mix weight of game-data index 0..42 for profile 0 or 1."),
    "SetRigDofLimitValue": (None, [c_int32, c_double, c_double],
        "Rig limits (min, max) of output slot 0..22; outputs 0..5 are clamped to them."),
    "SetInputDofLimitValue": (None, [c_int32, c_double, c_double],
        "Input limits of cue slots 0..7; slots 8 and 9 always get (-360, 360)."),
    "getactiveProfil": (c_int32, [], "0 (AIR) or 1 (GROUND): the profile the game selects."),
    "getTransitionStatus": (c_double, [], "Output fade progress in whole percent (100 when idle)."),
    "getProfilAirTransitionStatus": (c_double, [], "AIR profile weight in whole percent."),
    "getProfilGrdTransitionStatus": (c_double, [], "GROUND profile weight in whole percent."),
    # ---- Output rate limit and park ----
    "setOutputRateLimit": (c_int32, [c_int32, c_double],
        "Rate limit of channel 0..5 (rig axes, default 20 units/s) or 6 (belt, default off) in "
        "units per second; 0 switches it off. 1 stored, 0 refused."),
    "parkRig": (c_int32, [c_int32],
        "durationMs > 0: every frame channel ramps to 0 within 500..10000 ms and stays; frames "
        "keep flowing. 0 releases: the live outputs fade in over 4000 ms."),
    "getParkStatus": (c_int32, [], "0 not parked, 1 moving to neutral, 2 parked."),
    # ---- Filter strings ----
    "setcheckFilterstring": (c_bool, [c_int32, c_int32, c_char_p],
        "Parses the filter string and installs it in cue slot 0..22 of profile 0/1. True when "
        "valid and installed; false leaves the slot and keeps output suspended."),
    "checkFilterstring": (c_int32, [c_char_p, c_char_p, c_int32, POINTER(c_int32)],
        "Checks a filter string without installing it: 1 valid (text: the chain, one indented "
        "line per node; position -1), 0 invalid (text: why; position: byte offset), -1 failed."),
    # ---- Motion cancel ----
    "activateMotionCancel": (None, [c_bool],
        "Nonzero: publish the smoothed rig pose (filter back to 60); zero: stop publishing."),
    "setFilterMotionCancel": (c_bool, [c_double],
        "Smoothing divisor of the pose; true when stored (motion cancel active)."),
    "setGainMotionCancel": (c_bool, [c_double],
        "Gain of the pose; true when stored (motion cancel active)."),
    # ---- Snapshots ----
    "GetCalculationSnapshots": (c_double_p, [POINTER(c_int32)],
        "Drains the calculation history: records of 23 doubles, oldest first, and their count; "
        "null when empty. Free with FreeCalculationSnapshots."),
    "FreeCalculationSnapshots": (None, [c_void_p], "Releases an array of either snapshot getter."),
    "GetAccelerationSnapshots": (c_double_p, [POINTER(c_int32)],
        "Drains the acceleration history: records of 43 doubles, oldest first, and their count; "
        "null when empty. Free with FreeAccelerationSnapshots."),
    "FreeAccelerationSnapshots": (None, [c_void_p], "Releases an array of either snapshot getter."),
    "GetFrameSnapshots": (c_double_p, [POINTER(c_int32)],
        "Drains the frame history: count records of 10 doubles (time s, game id, six axes sent, belt, fan)."),
    "FreeFrameSnapshots": (None, [c_void_p], "Releases an array of GetFrameSnapshots."),
    "GetPositionSnapshot": (c_double_p, [], "Address of the newest calculated values (23 doubles, live)."),
    # ---- Rig link and messages ----
    "startPortRelay_Thread": (c_int32, [],
        "The relay loop's thread body: runs on the calling thread until stopPortRelay_Thread."),
    "stopPortRelay_Thread": (None, [],
        "Ends the relay loop and the network link threads and waits for them."),
    "getPortRelayThreads": (c_int32, [],
        "Link thread bodies running now: 1 relay loop, 2 multicast sender, 4 UDP listener."),
    "setDiagnosticOutput": (c_int32, [c_int32, DIAGNOSTIC_CALLBACK, c_void_p],
        "Where diagnostics go: 0 off, 1 console (default), 2 the callback (level, UTF-8 text, context)."),
    "sendMessagemmf": (c_int32, [POINTER(c_uint8)],
        "Queues a message ending in 0x0A 0x0D for the rig: 1 queued, -1 refused."),
    "autoMessagemmf": (c_int32, [POINTER(c_uint8)],
        "Queues a message sent once per cycle up to 12 times: 1 queued, 0 refused."),
    "readMessagemmf": (c_int32, [POINTER(c_uint8)],
        "Copies the oldest frame received from the rig (destination of 512 bytes); its length, "
        "or 0 when nothing waits."),
    "newMessagemmf": (c_int32, [], "1 when a received frame waits."),
    "isConnected": (c_int32, [], "1 while a rig link is identified and running."),
    "isInterfaceRunning": (c_int32, [], "1 unless the link is paused."),
    "pauseInterface": (c_int32, [], "Pauses the link and closes the rig's serial port; 1."),
    "resumeInterface": (c_int32, [],
        "Resumes the link; without autoconnect may block for seconds while connecting."),
    "enableAutoconnect": (c_int32, [], "The relay loop scans every COM port; 1."),
    "disableAutoconnect": (c_int32, [], "The relay loop stops scanning; 1."),
    "setStandartPort": (c_int32, [c_char_p],
        "Takes the number after the first 'COM' as the standard port: 1 taken, 0 no 'COM'."),
    "getSerialPortInfo": (c_int32, [c_int32, POINTER(c_int32), c_char_p, c_int32, c_char_p, c_int32,
                                    POINTER(c_uint8)],
        "Serial port number index as the autoconnect scan enumerates it: COM number, friendly "
        "name, hardware ids joined by ';', rig-controller USB id; 1 filled, 0 no such index, -1 failed."),
    "getRigLinkStatus": (c_int32, [POINTER(c_int32)] * 5,
        "Transport that talks to the rig (0 none, 1 serial, 2 UDP); stores COM number, identity, level, "
        "links lost and motion frames dropped."),
    "getOutputTimeFrame": (c_double, [], "Length of the last relay cycle in milliseconds."),
    # ---- UDP link to the rig ----
    "startUPDMulticastSenderThread": (None, [],
        "The multicast sender's thread body: sends the rig's messages as UDP datagrams to the "
        "multicast group until stopPortRelay_Thread."),
    "startUPDListenThread": (None, [],
        "The UDP listener's thread body: receives the rig's frames until stopPortRelay_Thread."),
    "setMulticastAddr": (None, [c_char_p], "Sets the multicast group of the next sender start from valid dotted IPv4 text (invalid text keeps the group) and logs the group in use."),
    "setUDPport": (None, [c_int32], "Listen port of the UDP listener (low 16 bits)."),
    # ---- Fan controller ----
    "initWindSerial": (c_int32, [c_wchar_p, c_int32, c_wchar_p, c_int32],
        "Configures the fan controller: port name (e.g. 'COM7'), baud rate, frame format "
        "(e.g. '8N1'), pause between speed bytes in ms. 1 when the port exists."),
}

# Records handed out by the snapshot getters, in doubles.
CALCULATION_RECORD = 23
ACCELERATION_RECORD = 43
FRAME_RECORD = 10
