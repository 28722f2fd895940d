// portrelay: the command-line host. Loads the PortRelay shared library the way
// a host application does and drives it only through its exports.
//
//   portrelay run [--profile FILE] [--simulate GAME] [--virtual-rig] [--rig-port COMn]
//                 [--fan-port COMn] [--seconds S] [--record FILE.csv] [--no-view]
//   portrelay test-axes [--profile FILE] [--virtual-rig | --rig-port COMn] [--seconds-per-axis S]
//   portrelay ports [--virtual-rig]
//   portrelay check "FILTER"
//   portrelay games
//
// The virtual rig (POSIX) needs the library's COM-port test seam, which is not
// a host export: it registers the rig's and the fan's pseudo-terminals as USB
// serial ports (a pseudo-terminal has no USB id); the library's own checks are
// unchanged.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{"portrelay: runs the PortRelay motion engine for a motion-simulator rig"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "help on every command");

  host::RunOptions run;
  CLI::App* runCommand =
      app.add_subcommand("run", "load a profile, start the engine and the rig link, show the live view");
  // A missing file is a profile error like any other (exit code 2), not CLI11's.
  runCommand->add_option("--profile", run.profile, "profile file (JSON); default: the built-in car profile");
  runCommand->add_option("--simulate", run.simulate,
                         "start gamesim playing GAME (see 'portrelay games'); without it the engine waits for a "
                         "real game");
  CLI::Option* virtualRig =
      runCommand->add_flag("--virtual-rig", run.virtualRig, "a virtual rig and fan on pseudo-terminals (POSIX)");
  runCommand->add_option("--rig-port", run.rigPort, "the rig's serial port COMn; default: the profile's, or a scan")
      ->excludes(virtualRig);
  runCommand->add_option("--fan-port", run.fanPort, "the fan controller's serial port COMn; default: the profile's");
  runCommand->add_option("--seconds", run.seconds,
                         "end after S seconds of motion (time without a game does not count); default: Ctrl-C or "
                         "SIGTERM ends, with exit code 0")
      ->check(CLI::PositiveNumber);
  runCommand->add_option("--record", run.record, "record every engine cycle to a CSV file");
  runCommand->add_flag("--no-view", run.noView, "no live view: a line at the start and a summary at the end");
  runCommand->add_flag("--period-stats", run.periodStats,
                       "sample the engine cycle length every 10 ms and print its distribution at the end");

  host::RunOptions axes;
  double secondsPerAxis = 8.0;
  CLI::App* axesCommand = app.add_subcommand(
      "test-axes", "move each axis in turn slowly to its rig limits and back, then park (after building a rig)");
  axesCommand->add_option("--profile", axes.profile, "profile file whose rig limits to use; default: the built-in");
  CLI::Option* axesVirtual =
      axesCommand->add_flag("--virtual-rig", axes.virtualRig, "a virtual rig on a pseudo-terminal (POSIX)");
  axesCommand->add_option("--rig-port", axes.rigPort, "the rig's serial port COMn; default: the profile's, or a scan")
      ->excludes(axesVirtual);
  axesCommand->add_option("--seconds-per-axis", secondsPerAxis, "how long each axis takes (default 8)")
      ->check(CLI::Range(2.0, 120.0));

  bool portsVirtual = false;
  CLI::App* portsCommand = app.add_subcommand("ports", "list the serial ports the library sees");
  portsCommand->add_flag("--virtual-rig", portsVirtual, "register the virtual rig and fan first (POSIX)");

  std::string filter;
  CLI::App* checkCommand = app.add_subcommand("check", "check a filter string with the library's parser");
  checkCommand->add_option("FILTER", filter, "the filter string, for example \"EMALP(GAIN(VALUE;2);10)\"")
      ->required();

  CLI::App* gamesCommand = app.add_subcommand("games", "list the supported games");

  CLI11_PARSE(app, argc, argv);
  try {
    if (runCommand->parsed()) return host::runCommand(run);
    if (portsCommand->parsed()) return host::portsCommand(portsVirtual);
    if (axesCommand->parsed()) return host::testAxesCommand(axes, secondsPerAxis);
    if (checkCommand->parsed()) return host::checkCommand(filter);
    if (gamesCommand->parsed()) return host::gamesCommand();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "portrelay: %s\n", e.what());
    return 1;
  }
  return 2;
}
