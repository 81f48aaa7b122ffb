// zelps: lists the processes of the system, one line each, as ps, pgrep and
// PsList users expect; see OptionTable() in command_line.cpp for its options.
//
// It selects processes by image name, ID and owner, shows the columns asked
// for in a table aligned by display width, or as JSON Lines (see
// process_json.h), CSV or metrics for Prometheus, once or in a refresh mode;
// --env prints the environment variables of one process.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "ZelCodes.h"
#include "ZelErrorMessage.h"
#include "ZelProcess.h"
#include "command_line.h"
#include "environment_block.h"
#include "ZelHandles.h"
#include "listing.h"
#include "output_file.h"
#include "process_json.h"
#include "usage.h"
#include "watch.h"

namespace {

using zelps::Options;

int List(const Options& options) {
  CZelProcess processes;
  std::size_t unreadable = 0;
  auto rows = zelps::ReadSelected(processes, options, &unreadable);
  if (unreadable > 0)
    std::fprintf(stderr,
                 "zelps: %zu process%s whose modules could not be read (as a rule, access "
                 "denied) %s not listed\n",
                 unreadable, unreadable == 1 ? "" : "es", unreadable == 1 ? "is" : "are");
  // A word such as "aux" stays a name pattern ("mc", "lua" and "vlc" are
  // programs): only when it selects nothing is it taken for ps' options.
  if (const auto hint = zelps::BsdStyleHint(options.patterns); hint && rows.empty())
    std::fprintf(stderr, "zelps: %s\n", hint->c_str());
  zelps::Order(rows, options);
  zelps::Emit(zelps::Render(rows, options), options);
  // As pgrep: nothing selected is a result of its own.
  return rows.empty() ? 1 : 0;
}

int PrintEnvironment(const Options& options) {
  const unsigned process_id = *options.environmentOf;
  CZelProcess processes;
  const zel::FindHandle process(processes, processes.CreateHandleFromPID(process_id));
  if (!process) {
    std::fprintf(stderr, "zelps: no process %u\n", process_id);
    return 1;
  }
  std::size_t size = 0;
  unsigned char* const whole = processes.GetEnvironmentBlock(process.Get(), size);
  const zel::EnvironmentCopy block(processes, whole, size);
  if (!block.Get()) {
    std::fprintf(stderr, "zelps: cannot read the environment of %u: %s\n", process_id,
                 zel::ErrorMessage(processes.GetErrorCode()).c_str());
    return 1;
  }
  // Only a block longer than the library's limit is cut.
  auto environment = zelps::SplitEnvironment(block.Get(), block.Size());
  environment.truncated = environment.truncated || processes.GetErrorCode() == zel::kErrorMoreData;
  if (environment.truncated)
    std::fprintf(stderr,
                 "zelps: the environment of %u is longer than the %zu MiB copied; "
                 "these are its first variables\n",
                 process_id, zel::kEnvironmentBlockLimit >> 20);
  std::string text;
  if (options.format == zelps::Format::Json) {
    text = zelps::EnvironmentJson(process_id, environment.variables, environment.truncated) + '\n';
  } else {
    for (const std::string& variable : environment.variables) text += variable + '\n';
  }
  zelps::Emit(text, options);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const zelps::CommandLine command = zelps::ParseCommandLine(argc, argv);
  switch (command.action) {
    case zelps::CommandLine::Action::Help: std::fputs(zelps::HelpText().c_str(), stdout); return 0;
    case zelps::CommandLine::Action::Version: std::puts("zelps " ZELPS_VERSION); return 0;
    case zelps::CommandLine::Action::Fail:
      std::fprintf(stderr, "zelps: %s\nTry 'zelps --help' for the options.\n",
                   command.error.c_str());
      return 2;
    default: break;
  }
#ifdef _WIN32
  // CSV, JSON and metrics keep their own line ends.
  if (command.options.format != zelps::Format::Table) _setmode(_fileno(stdout), _O_BINARY);
#endif
  try {
    if (command.action == zelps::CommandLine::Action::Environment)
      return PrintEnvironment(command.options);
    if (command.options.watchSeconds) return zelps::Watch(command.options);
    return List(command.options);
  } catch (const zelps::OutputError& e) {
    std::fprintf(stderr, "zelps: %s\n", e.what());
    return 2;
  } catch (const std::system_error& e) {
    // The text of the code is in what(): the library's own for its codes.
    std::fprintf(stderr, "zelps: %s\n", e.what());
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "zelps: %s\n", e.what());
  }
  return 1;
}
