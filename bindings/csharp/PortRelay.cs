// C# binding of the PortRelay motion engine library (portrelay.dll on Windows,
// libportrelay.so on Linux under Mono or .NET). Native holds one P/Invoke
// declaration per export of portrelay.h, marshalled as the header declares it
// ("bool" results and arguments are one byte, arrays are handed out by
// address); Engine adds managed conveniences on top. A library that lacks an
// export throws EntryPointNotFoundException only when that export is called.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace PortRelay
{
    /// <summary>The exports of portrelay.h, one to one. Profile 0 is "Profil AIR", 1 is
    /// "Profil GROUND"; cue slots are 0..22; outputs 0..5 are sway, surge, heave, yaw, roll,
    /// pitch; game-data indexes are 0..42. Out-of-range arguments do nothing.</summary>
    public static class Native
    {
        /// <summary>Library name: portrelay.dll on Windows, libportrelay.so elsewhere.</summary>
        public const string Library = "portrelay";

        // ---- Version ----

        /// <summary>The library's version, MAJOR.MINOR.PATCH, as a static string (never freed):
        /// read it with Marshal.PtrToStringAnsi, or Engine.Version.</summary>
        [DllImport(Library, EntryPoint = "getPortRelayVersion", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr getPortRelayVersion();

        // ---- Engine control ----

        /// <summary>Starts the engine thread. Returns 1 when it runs already, a nonzero value
        /// when it was started, 0 when the thread could not be created.</summary>
        [DllImport(Library, EntryPoint = "startGamesource_Thread", CallingConvention = CallingConvention.Cdecl)]
        public static extern int startGamesource_Thread();

        /// <summary>Stops the engine thread and waits for its end; returns the previous value of
        /// the "stopped" flag (true when it was stopped already). Never call it from the engine
        /// thread.</summary>
        [DllImport(Library, EntryPoint = "stopGamesource_Thread", CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool stopGamesource_Thread();

        /// <summary>1: the rig is ready (the engine reads and sends); 0: not ready. A change of
        /// state restarts the 4000-ms output fade; other values do nothing.</summary>
        [DllImport(Library, EntryPoint = "setMotionsystemready", CallingConvention = CallingConvention.Cdecl)]
        public static extern void setMotionsystemready(int ready);

        /// <summary>Nonzero: precise 2000-µs wait; 0: a sleeping wait that carries its timing
        /// error. Thread start sets precise mode.</summary>
        [DllImport(Library, EntryPoint = "setTimerPrecision", CallingConvention = CallingConvention.Cdecl)]
        public static extern void setTimerPrecision(int mode);

        // ---- Game ----

        /// <summary>Id 0..17 of the detected game; -1 for none.</summary>
        [DllImport(Library, EntryPoint = "getGameID", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getGameID();

        /// <summary>Writes the NUL-terminated name of the detected game, or "No Game online",
        /// into buffer (at least 21 bytes).</summary>
        [DllImport(Library, EntryPoint = "getGameName", CallingConvention = CallingConvention.Cdecl)]
        public static extern void getGameName([Out] byte[] buffer);

        /// <summary>Milliseconds between the last two samples of the attached game.</summary>
        [DllImport(Library, EntryPoint = "getGameTimeFrame", CallingConvention = CallingConvention.Cdecl)]
        public static extern double getGameTimeFrame();

        /// <summary>Length of the last engine cycle in milliseconds.</summary>
        [DllImport(Library, EntryPoint = "getMotionDataTimeFrame", CallingConvention = CallingConvention.Cdecl)]
        public static extern double getMotionDataTimeFrame();

        /// <summary>Engine cycles longer than 10 ms since the engine thread started, and the
        /// longest engine cycle of the last 10 seconds in milliseconds (0 when none ran).</summary>
        [DllImport(Library, EntryPoint = "getEngineStalls", CallingConvention = CallingConvention.Cdecl)]
        public static extern void getEngineStalls(out int longCycles, out double longestMs);

        /// <summary>What the latest detection test of a game (0..17) found: bit 1 its telemetry,
        /// bit 2 one of its processes (one without the other: why it is not detected); -1 for another id.</summary>
        [DllImport(Library, EntryPoint = "getDetectionClues", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getDetectionClues(int gameId);

        /// <summary>Always 44.</summary>
        [DllImport(Library, EntryPoint = "getGameDataCount", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getGameDataCount();

        /// <summary>Address of the engine's live game-data array (43 doubles, rewritten every
        /// cycle without a lock, valid for the life of the process) and the count 43.</summary>
        [DllImport(Library, EntryPoint = "getGameData", CallingConvention = CallingConvention.Cdecl)]
        public static extern void getGameData(out IntPtr data, out int count);

        /// <summary>Address of the first channel name ("lateral_speed") and the count 43. Names
        /// are NUL-terminated entries of 16 bytes: name n starts at first + 16 * n.</summary>
        [DllImport(Library, EntryPoint = "getGameDataNames", CallingConvention = CallingConvention.Cdecl)]
        public static extern void getGameDataNames(out IntPtr firstName, out int count);

        // ---- Cues, profiles and limits ----

        /// <summary>Kind 0: AIR cues, 1: GROUND cues, 2: the 23 outputs, 3: the fade start values.
        /// Stores the address of that live array (23 doubles) and the count 23; any other kind
        /// writes nothing.</summary>
        [DllImport(Library, EntryPoint = "getMotionCueData", CallingConvention = CallingConvention.Cdecl)]
        public static extern void getMotionCueData(int kind, ref IntPtr data, ref int count);

        /// <summary>Copies the last 36-byte motion frame into buffer.</summary>
        [DllImport(Library, EntryPoint = "getOutputData", CallingConvention = CallingConvention.Cdecl)]
        public static extern void getOutputData([Out] byte[] buffer);

        /// <summary>Stores the low byte of active as the profile's active flag of the slot; then,
        /// whatever the arguments, restarts the output fade.</summary>
        [DllImport(Library, EntryPoint = "setActiveAxis", CallingConvention = CallingConvention.Cdecl)]
        public static extern void setActiveAxis(int profile, int slot, int active);

        /// <summary>Belt-mix weight of game-data index 0..42 for profile 0 or 1.</summary>
        [DllImport(Library, EntryPoint = "setBelt_Mix", CallingConvention = CallingConvention.Cdecl)]
        public static extern void setBelt_Mix(int profile, int index, double weight);

        /// <summary>Rig limits (min, max) of output slot 0..22; outputs 0..5 are clamped to them
        /// in the motion frame.</summary>
        [DllImport(Library, EntryPoint = "SetRigDofLimitValue", CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetRigDofLimitValue(int slot, double min, double max);

        /// <summary>Input limits of cue slots 0..7; slots 8 and 9 always get (-360, 360).</summary>
        [DllImport(Library, EntryPoint = "SetInputDofLimitValue", CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetInputDofLimitValue(int slot, double min, double max);

        /// <summary>Rate limit of channel 0..5 (rig axes, default 20 units/s) or 6 (belt, default
        /// off), in units per second; 0 switches it off. 1 stored, 0 refused.</summary>
        [DllImport(Library, EntryPoint = "setOutputRateLimit", CallingConvention = CallingConvention.Cdecl)]
        public static extern int setOutputRateLimit(int channel, double unitsPerSecond);

        /// <summary>durationMs &gt; 0: every frame channel ramps to 0 within 500..10000 ms and
        /// stays there while frames keep flowing; 0 releases the park and the live outputs fade
        /// in over 4000 ms.</summary>
        [DllImport(Library, EntryPoint = "parkRig", CallingConvention = CallingConvention.Cdecl)]
        public static extern int parkRig(int durationMs);

        /// <summary>0 not parked, 1 moving to neutral, 2 parked.</summary>
        [DllImport(Library, EntryPoint = "getParkStatus", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getParkStatus();

        /// <summary>0 (AIR) or 1 (GROUND): the profile the attached game selects.</summary>
        [DllImport(Library, EntryPoint = "getactiveProfil", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getactiveProfil();

        /// <summary>Output fade progress in whole percent (100 when idle).</summary>
        [DllImport(Library, EntryPoint = "getTransitionStatus", CallingConvention = CallingConvention.Cdecl)]
        public static extern double getTransitionStatus();

        /// <summary>AIR profile weight in whole percent, 0..100.</summary>
        [DllImport(Library, EntryPoint = "getProfilAirTransitionStatus", CallingConvention = CallingConvention.Cdecl)]
        public static extern double getProfilAirTransitionStatus();

        /// <summary>GROUND profile weight in whole percent, 0..100.</summary>
        [DllImport(Library, EntryPoint = "getProfilGrdTransitionStatus", CallingConvention = CallingConvention.Cdecl)]
        public static extern double getProfilGrdTransitionStatus();

        // ---- Filter strings ----

        /// <summary>Parses the filter string (for example "EMALP(GAIN(VALUE;2);10)") and installs
        /// it in cue slot 0..22 of profile 0 or 1. Always restarts the output fade and suspends
        /// output first. True: installed, output resumes. False: the slot keeps its chain and
        /// output stays suspended until the engine next attaches a game.</summary>
        [DllImport(Library, EntryPoint = "setcheckFilterstring", CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool setcheckFilterstring(int profile, int slot,
                                                       [MarshalAs(UnmanagedType.LPStr)] string filter);

        // ---- Motion cancel ----

        /// <summary>True: publish the smoothed rig pose in shared memory (the smoothing divisor
        /// goes back to 60); false: stop publishing and release the section.</summary>
        [DllImport(Library, EntryPoint = "activateMotionCancel", CallingConvention = CallingConvention.Cdecl)]
        public static extern void activateMotionCancel([MarshalAs(UnmanagedType.I1)] bool enable);

        /// <summary>Smoothing divisor of the published pose, in cycles. True when stored, false
        /// (nothing stored) while motion cancel is not active.</summary>
        [DllImport(Library, EntryPoint = "setFilterMotionCancel", CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool setFilterMotionCancel(double value);

        /// <summary>Gain of the published pose. True when stored, false (nothing stored) while
        /// motion cancel is not active.</summary>
        [DllImport(Library, EntryPoint = "setGainMotionCancel", CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool setGainMotionCancel(double value);

        // ---- Snapshots ----

        /// <summary>Drains the calculation history: an array of count records of 23 doubles,
        /// oldest first, or IntPtr.Zero (count 0) when empty. Release it with
        /// FreeCalculationSnapshots.</summary>
        [DllImport(Library, EntryPoint = "GetCalculationSnapshots", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetCalculationSnapshots(out int count);

        /// <summary>Releases an array returned by either snapshot getter; IntPtr.Zero is
        /// accepted.</summary>
        [DllImport(Library, EntryPoint = "FreeCalculationSnapshots", CallingConvention = CallingConvention.Cdecl)]
        public static extern void FreeCalculationSnapshots(IntPtr snapshots);

        /// <summary>Drains the acceleration history: an array of count records of 43 doubles
        /// (the game data), oldest first, or IntPtr.Zero (count 0) when empty. Release it with
        /// FreeAccelerationSnapshots.</summary>
        [DllImport(Library, EntryPoint = "GetAccelerationSnapshots", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetAccelerationSnapshots(out int count);

        /// <summary>Releases an array returned by either snapshot getter; IntPtr.Zero is
        /// accepted.</summary>
        [DllImport(Library, EntryPoint = "FreeAccelerationSnapshots", CallingConvention = CallingConvention.Cdecl)]
        public static extern void FreeAccelerationSnapshots(IntPtr snapshots);

        /// <summary>Drains the frame history: an array of count records of 10 doubles (the
        /// cycle's time in seconds on the monotonic counter, the game id, the six axes as sent,
        /// belt, fan; NaN where no frame was sent), oldest first, or IntPtr.Zero when empty.
        /// Release it with FreeFrameSnapshots.</summary>
        [DllImport(Library, EntryPoint = "GetFrameSnapshots", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetFrameSnapshots(out int count);

        /// <summary>Releases an array returned by GetFrameSnapshots.</summary>
        [DllImport(Library, EntryPoint = "FreeFrameSnapshots", CallingConvention = CallingConvention.Cdecl)]
        public static extern void FreeFrameSnapshots(IntPtr snapshots);

        /// <summary>Address of the newest calculated values (23 doubles), rewritten every
        /// cycle.</summary>
        [DllImport(Library, EntryPoint = "GetPositionSnapshot", CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr GetPositionSnapshot();

        // ---- Rig link and messages ----

        /// <summary>The relay loop's thread body: call it on a thread of its own. It serves the
        /// rig's serial port every 2 ms and returns 1 once stopPortRelay_Thread ended it (at once
        /// when another thread runs the loop already).</summary>
        [DllImport(Library, EntryPoint = "startPortRelay_Thread", CallingConvention = CallingConvention.Cdecl)]
        public static extern int startPortRelay_Thread();

        /// <summary>Asks the relay loop and the network link threads to end and returns once none
        /// runs. Never call it from those threads. A body not running then ends at its next
        /// start at once (a stop is never lost to a thread that has not entered yet).</summary>
        [DllImport(Library, EntryPoint = "stopPortRelay_Thread", CallingConvention = CallingConvention.Cdecl)]
        public static extern void stopPortRelay_Thread();

        /// <summary>Link thread bodies running now: 1 relay loop, 2 multicast sender, 4 UDP
        /// listener.</summary>
        [DllImport(Library, EntryPoint = "getPortRelayThreads", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getPortRelayThreads();

        /// <summary>Receives the library's diagnostic texts: level 0 standard output, 1 standard
        /// error; text is NUL-terminated UTF-8.</summary>
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void DiagnosticCallback(int level, IntPtr text, IntPtr context);

        /// <summary>Where diagnostics go: 0 off, 1 console (default), 2 the callback. Keep the
        /// delegate alive for as long as it is set. 1 when taken, else 0.</summary>
        [DllImport(Library, EntryPoint = "setDiagnosticOutput", CallingConvention = CallingConvention.Cdecl)]
        public static extern int setDiagnosticOutput(int destination, DiagnosticCallback callback, IntPtr context);

        /// <summary>Queues a message (2 to 512 bytes ending in 0x0A 0x0D) for the rig. 1 when
        /// queued; -1 when no link runs, no terminator is found or the queue is full. The library
        /// reads up to the terminator or 512 bytes: pass at least that (Engine.SendMessage
        /// does).</summary>
        [DllImport(Library, EntryPoint = "sendMessagemmf", CallingConvention = CallingConvention.Cdecl)]
        public static extern int sendMessagemmf(byte[] message);

        /// <summary>Queues a message that is sent once per 2-ms cycle, up to 12 times or until a
        /// newer one is queued. 1 when queued, 0 when refused. Reads as sendMessagemmf
        /// (Engine.AutoMessage passes 512 bytes).</summary>
        [DllImport(Library, EntryPoint = "autoMessagemmf", CallingConvention = CallingConvention.Cdecl)]
        public static extern int autoMessagemmf(byte[] message);

        /// <summary>Checks a filter string without installing it: 1 valid (text receives the
        /// chain, one indented line per node; errorPosition -1), 0 invalid (text receives why,
        /// errorPosition the byte offset), -1 when the check failed.</summary>
        [DllImport(Library, EntryPoint = "checkFilterstring", CallingConvention = CallingConvention.Cdecl)]
        public static extern int checkFilterstring(
            [MarshalAs(UnmanagedType.LPStr)] string filter, [Out] byte[] text, int textSize, out int errorPosition);

        /// <summary>The serial port at index as the autoconnect scan enumerates it: COM
        /// number, friendly name, hardware ids joined by ';', whether the USB id is a rig
        /// controller's. 1 filled, 0 no such index, -1 when the ports cannot be
        /// enumerated.</summary>
        [DllImport(Library, EntryPoint = "getSerialPortInfo", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getSerialPortInfo(int index, out int comNumber, [Out] byte[] friendlyName,
            int friendlyNameSize, [Out] byte[] hardwareIds, int hardwareIdsSize, out byte rigController);

        /// <summary>Copies the oldest frame received from the rig into destination (at least 512
        /// bytes) and returns its length; 0 when nothing waits.</summary>
        [DllImport(Library, EntryPoint = "readMessagemmf", CallingConvention = CallingConvention.Cdecl)]
        public static extern int readMessagemmf([Out] byte[] destination);

        /// <summary>1 when a received frame waits for readMessagemmf, else 0.</summary>
        [DllImport(Library, EntryPoint = "newMessagemmf", CallingConvention = CallingConvention.Cdecl)]
        public static extern int newMessagemmf();

        /// <summary>1 while a rig link is identified (or a network link thread was started) and
        /// its loop runs; else 0.</summary>
        [DllImport(Library, EntryPoint = "isConnected", CallingConvention = CallingConvention.Cdecl)]
        public static extern int isConnected();

        /// <summary>1 unless the link is paused.</summary>
        [DllImport(Library, EntryPoint = "isInterfaceRunning", CallingConvention = CallingConvention.Cdecl)]
        public static extern int isInterfaceRunning();

        /// <summary>Pauses the link and closes the rig's serial port. Returns 1.</summary>
        [DllImport(Library, EntryPoint = "pauseInterface", CallingConvention = CallingConvention.Cdecl)]
        public static extern int pauseInterface();

        /// <summary>Resumes the link. With autoconnect on returns 1 at once; otherwise connects to
        /// the standard port (up to three attempts 500 ms apart, so it may block for seconds): 1
        /// when the rig identified itself, else 0.</summary>
        [DllImport(Library, EntryPoint = "resumeInterface", CallingConvention = CallingConvention.Cdecl)]
        public static extern int resumeInterface();

        /// <summary>Switches the relay loop's scan of every COM port on. Returns 1.</summary>
        [DllImport(Library, EntryPoint = "enableAutoconnect", CallingConvention = CallingConvention.Cdecl)]
        public static extern int enableAutoconnect();

        /// <summary>Switches the relay loop's scan of every COM port off. Returns 1.</summary>
        [DllImport(Library, EntryPoint = "disableAutoconnect", CallingConvention = CallingConvention.Cdecl)]
        public static extern int disableAutoconnect();

        /// <summary>Takes the number after the first "COM" of port (for example "COM5") as the
        /// standard port of resumeInterface. 1 when taken, 0 when the text holds no "COM".</summary>
        [DllImport(Library, EntryPoint = "setStandartPort", CallingConvention = CallingConvention.Cdecl)]
        public static extern int setStandartPort([MarshalAs(UnmanagedType.LPStr)] string port);

        /// <summary>The rig as the link knows it: returns the transport that talks to it (0 none,
        /// 1 serial, 2 UDP); the identified COM number (0 none), the identity reply's value (0 none),
        /// the last level report (-1 none), links lost and motion frames dropped since loading.</summary>
        [DllImport(Library, EntryPoint = "getRigLinkStatus", CallingConvention = CallingConvention.Cdecl)]
        public static extern int getRigLinkStatus(out int comNumber, out int identity, out int level, out int linksLost,
                                                  out int framesDropped);

        /// <summary>Length of the last relay cycle in milliseconds.</summary>
        [DllImport(Library, EntryPoint = "getOutputTimeFrame", CallingConvention = CallingConvention.Cdecl)]
        public static extern double getOutputTimeFrame();

        // ---- UDP link to the rig ----

        /// <summary>The multicast sender's thread body: call it on a thread of its own. It sends
        /// the rig's messages as datagrams to the multicast group until stopPortRelay_Thread
        /// ends it.</summary>
        [DllImport(Library, EntryPoint = "startUPDMulticastSenderThread", CallingConvention = CallingConvention.Cdecl)]
        public static extern void startUPDMulticastSenderThread();

        /// <summary>The UDP listener's thread body: call it on a thread of its own. It receives the
        /// rig's frames until stopPortRelay_Thread ends it.</summary>
        [DllImport(Library, EntryPoint = "startUPDListenThread", CallingConvention = CallingConvention.Cdecl)]
        public static extern void startUPDListenThread();

        /// <summary>Validates a dotted IPv4 address for the multicast sender and logs the address
        /// and port in use.</summary>
        [DllImport(Library, EntryPoint = "setMulticastAddr", CallingConvention = CallingConvention.Cdecl)]
        public static extern void setMulticastAddr([MarshalAs(UnmanagedType.LPStr)] string address);

        /// <summary>Listen port of the UDP listener (low 16 bits), taken at its next start.</summary>
        [DllImport(Library, EntryPoint = "setUDPport", CallingConvention = CallingConvention.Cdecl)]
        public static extern void setUDPport(int port);

        // ---- Fan controller ----

        /// <summary>Configures the fan controller: port name (for example "COM7"), line speed,
        /// frame format (for example "8N1") and pause between speed bytes in ms. Both texts are
        /// NUL-terminated wchar_t strings, 2 bytes a character on Windows and 4 elsewhere: use
        /// Engine.InitWindSerial, which builds them. Returns 1 when the port names an existing
        /// device, else 0.</summary>
        [DllImport(Library, EntryPoint = "initWindSerial", CallingConvention = CallingConvention.Cdecl)]
        public static extern int initWindSerial(IntPtr portName, int baudRate, IntPtr frameFormat, int sendIntervalMs);
    }

    /// <summary>Managed conveniences over Native: copies of the live arrays, texts, drained
    /// snapshots.</summary>
    public static class Engine
    {
        /// <summary>Values in one calculation snapshot record.</summary>
        public const int CalculationRecord = 23;

        /// <summary>Values in one acceleration snapshot record (the game data).</summary>
        public const int AccelerationRecord = 43;

        /// <summary>The library's version, MAJOR.MINOR.PATCH.</summary>
        public static string Version
        {
            get { return Marshal.PtrToStringAnsi(Native.getPortRelayVersion()); }
        }

        /// <summary>Name of the detected game, or "No Game online".</summary>
        public static string GetGameName()
        {
            var buffer = new byte[64];
            Native.getGameName(buffer);
            int length = Array.IndexOf(buffer, (byte)0);
            return Encoding.ASCII.GetString(buffer, 0, length < 0 ? buffer.Length : length);
        }

        /// <summary>A copy of the 43 game-data values of this moment.</summary>
        public static double[] GetGameData()
        {
            IntPtr data;
            int count;
            Native.getGameData(out data, out count);
            return CopyDoubles(data, count);
        }

        /// <summary>The 43 channel names, index 0..42 (the last two are empty).</summary>
        public static string[] GetGameDataNames()
        {
            IntPtr first;
            int count;
            Native.getGameDataNames(out first, out count);
            var names = new string[first == IntPtr.Zero ? 0 : count];
            for (int n = 0; n < names.Length; ++n)
                names[n] = Marshal.PtrToStringAnsi(IntPtr.Add(first, 16 * n));
            return names;
        }

        /// <summary>A copy of live array kind (0 AIR cues, 1 GROUND cues, 2 outputs, 3 fade start
        /// values); null for any other kind.</summary>
        public static double[] GetMotionCueData(int kind)
        {
            IntPtr data = IntPtr.Zero;
            int count = 0;
            Native.getMotionCueData(kind, ref data, ref count);
            return data == IntPtr.Zero ? null : CopyDoubles(data, count);
        }

        /// <summary>The last 36-byte motion frame.</summary>
        public static byte[] GetOutputData()
        {
            var frame = new byte[36];
            Native.getOutputData(frame);
            return frame;
        }

        /// <summary>Queues a message for the rig: 1 queued, -1 refused. Passed in a buffer of 512
        /// bytes, as much as the library may read.</summary>
        public static int SendMessage(byte[] message)
        {
            return Native.sendMessagemmf(MessageBuffer(message));
        }

        /// <summary>Queues a repeated message for the rig: 1 queued, 0 refused.</summary>
        public static int AutoMessage(byte[] message)
        {
            return Native.autoMessagemmf(MessageBuffer(message));
        }

        private static byte[] MessageBuffer(byte[] message)
        {
            var buffer = new byte[512];
            if (message != null) Array.Copy(message, buffer, Math.Min(message.Length, buffer.Length));
            return buffer;
        }

        /// <summary>The oldest frame received from the rig, or null when none waits.</summary>
        public static byte[] ReadMessage()
        {
            var buffer = new byte[512];
            int length = Native.readMessagemmf(buffer);
            if (length <= 0) return null;
            var message = new byte[length];
            Array.Copy(buffer, message, length);
            return message;
        }

        /// <summary>Drains the calculation history: records of 23 values, oldest first.</summary>
        public static double[][] GetCalculationSnapshots()
        {
            int count;
            IntPtr records = Native.GetCalculationSnapshots(out count);
            try { return Records(records, count, CalculationRecord); }
            finally { Native.FreeCalculationSnapshots(records); }
        }

        /// <summary>Drains the acceleration history: records of 43 values, oldest first.</summary>
        public static double[][] GetAccelerationSnapshots()
        {
            int count;
            IntPtr records = Native.GetAccelerationSnapshots(out count);
            try { return Records(records, count, AccelerationRecord); }
            finally { Native.FreeAccelerationSnapshots(records); }
        }

        /// <summary>A copy of the newest calculated values (23).</summary>
        public static double[] GetPositionSnapshot()
        {
            return CopyDoubles(Native.GetPositionSnapshot(), CalculationRecord);
        }

        /// <summary>initWindSerial with managed texts, encoded as the platform's wchar_t.</summary>
        public static int InitWindSerial(string portName, int baudRate, string frameFormat, int sendIntervalMs)
        {
            IntPtr port = WideString(portName), format = WideString(frameFormat);
            try { return Native.initWindSerial(port, baudRate, format, sendIntervalMs); }
            finally
            {
                Marshal.FreeHGlobal(port);
                Marshal.FreeHGlobal(format);
            }
        }

        static IntPtr WideString(string text)
        {
            if (text == null) return IntPtr.Zero;
            bool windows = Environment.OSVersion.Platform == PlatformID.Win32NT;
            byte[] bytes = (windows ? Encoding.Unicode : new UTF32Encoding(false, false)).GetBytes(text + "\0");
            IntPtr memory = Marshal.AllocHGlobal(bytes.Length);
            Marshal.Copy(bytes, 0, memory, bytes.Length);
            return memory;
        }

        static double[] CopyDoubles(IntPtr data, int count)
        {
            if (data == IntPtr.Zero || count <= 0) return new double[0];
            var values = new double[count];
            Marshal.Copy(data, values, 0, count);
            return values;
        }

        static double[][] Records(IntPtr records, int count, int size)
        {
            var result = new double[records == IntPtr.Zero ? 0 : count][];
            for (int i = 0; i < result.Length; ++i)
                result[i] = CopyDoubles(IntPtr.Add(records, i * size * sizeof(double)), size);
            return result;
        }
    }
}
