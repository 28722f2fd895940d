// A small host: starts the engine, reads its defaults, sets a filter string,
// stops. Exits with 1 when the library answers anything unexpected.
using System;
using PortRelay;

static class SampleHost
{
    static int failures;

    static void Expect(bool condition, string what)
    {
        Console.WriteLine((condition ? "ok    " : "FAILED ") + what);
        if (!condition) ++failures;
    }

    static int Main()
    {
        Expect(Native.getGameDataCount() == 44, "getGameDataCount is 44");
        Expect(Native.getGameID() == -1, "no game: getGameID is -1");
        Expect(Engine.GetGameName() == "No Game online", "getGameName: " + Engine.GetGameName());
        Expect(Native.getTransitionStatus() == 100.0, "no fade running");
        Expect(Native.getProfilAirTransitionStatus() == 100.0 && Native.getProfilGrdTransitionStatus() == 0.0,
               "AIR profile at 100 %");
        string[] names = Engine.GetGameDataNames();
        Expect(names.Length == 43 && names[0] == "lateral_speed", "43 channel names from lateral_speed");
        Expect(Engine.GetGameData().Length == 43, "43 game-data values");
        Expect(Engine.GetMotionCueData(2).Length == 23 && Engine.GetMotionCueData(4) == null, "23 outputs");
        Expect(Engine.GetOutputData().Length == 36, "36-byte motion frame");
        Expect(Engine.InitWindSerial("COM250", 115200, "8N1", 15) == 0, "no fan controller on COM250");

        Expect(Native.startGamesource_Thread() != 0, "engine started");
        Expect(Native.startGamesource_Thread() == 1, "engine runs already");
        Expect(Native.setcheckFilterstring(0, 0, "EMALP(GAIN(VALUE;2);10)"), "filter string installed");
        Expect(!Native.setcheckFilterstring(0, 0, "EMALP(VALUE;0.5)"), "bad filter string refused");
        Expect(Native.getTransitionStatus() < 100.0, "the fade restarted");
        try
        {
            Expect(Engine.GetCalculationSnapshots().Length <= 150, "calculation snapshots drained");
        }
        catch (EntryPointNotFoundException)
        {
            Console.WriteLine("skip   snapshots: not exported by this build");
        }
        Expect(!Native.stopGamesource_Thread(), "engine stopped");
        Expect(Native.stopGamesource_Thread(), "engine was stopped already");
        Console.WriteLine(failures == 0 ? "sample host: all answers as expected" : "sample host: " + failures + " failed");
        return failures == 0 ? 0 : 1;
    }
}
