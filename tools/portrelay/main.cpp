// portrelay: the command-line host. Loads the PortRelay shared library the way
// a host application does and drives it only through its exports.
//
//   portrelay run [--profile FILE] [--simulate GAME] [--virtual-rig] [--rig-port COMn]
//                 [--fan-port COMn] [--seconds S] [--record FILE.csv] [--no-view]
//   portrelay ui  [the options of run] [--listen ADDR:PORT]
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

  // run and ui take the same options; ui shows the browser panel instead of
  // the terminal view.
  const auto addRunOptions = [](CLI::App* command, host::RunOptions& options, bool withView) {
    // A missing file is a profile error like any other (exit code 2), not CLI11's.
    command->add_option("--profile", options.profile, "profile file (JSON); default: the built-in car profile");
    command->add_option("--simulate", options.simulate,
                        "start gamesim playing GAME (see 'portrelay games'); without it the engine waits for a "
                        "real game");
    CLI::Option* virtualRig =
        command->add_flag("--virtual-rig", options.virtualRig, "a virtual rig and fan on pseudo-terminals (POSIX)");
    command->add_option("--rig-port", options.rigPort, "the rig's serial port COMn; default: the profile's, or a scan")
        ->excludes(virtualRig);
    command->add_option("--fan-port", options.fanPort, "the fan controller's serial port COMn; default: the profile's");
    command->add_option("--seconds", options.seconds,
                        "end after S seconds of motion (time without a game does not count); default: Ctrl-C or "
                        "SIGTERM ends, with exit code 0")
        ->check(CLI::PositiveNumber);
    command->add_option("--record", options.record, "record every engine cycle to a CSV file");
    if (withView) command->add_flag("--no-view", options.noView, "no live view: a line at the start and a summary at the end");
    command->add_flag("--period-stats", options.periodStats,
                      "sample the engine cycle length every 10 ms and print its distribution at the end");
  };
  host::RunOptions run;
  CLI::App* runCommand =
      app.add_subcommand("run", "load a profile, start the engine and the rig link, show the live view");
  addRunOptions(runCommand, run, true);

  host::RunOptions ui;
  ui.panel = true;
  CLI::App* uiCommand = app.add_subcommand(
      "ui", "like run, with a control panel in the browser instead of the terminal view (prints its address)");
  addRunOptions(uiCommand, ui, false);
  uiCommand->add_option("--listen", ui.listen,
                        "the panel's ADDR:PORT (default 127.0.0.1:8787: this machine only; 0.0.0.0:8787 lets every "
                        "device on the network that has the printed address operate the rig)");

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
  portsCommand->add_flag("--virtual-rig", portsVirtual,
                         "also register the virtual rig and fan and list them after the real ports, marked (POSIX)");

  std::string filter;
  CLI::App* checkCommand = app.add_subcommand("check", "check a filter string with the library's parser");
  checkCommand->add_option("FILTER", filter, "the filter string, for example \"EMALP(GAIN(VALUE;2);10)\"")
      ->required();

  CLI::App* gamesCommand = app.add_subcommand("games", "list the supported games");

  CLI11_PARSE(app, argc, argv);
  try {
    if (runCommand->parsed()) return host::runCommand(run);
    if (uiCommand->parsed()) return host::runCommand(ui);
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
