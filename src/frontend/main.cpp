#include <memory>
#include <string>

#include "console/backend.h"
#include "console/console.h"
#include "files/file_system.h"
#include "frontend/command_line.h"
#include "frontend/menu.h"
#include "frontend/roster_store.h"
#include "frontend/version_commands.h"

namespace {

// The program with its console in place. A roster file is read, and refused
// if bad, before the password gate, so that nobody types a password for a
// file that cannot be used.
int run(int argc, char** argv) {
  command_line::request request = command_line::parse(files::command_line(argc, argv));
  switch (request.what) {
    case command_line::request::action::help: console::write_message(command_line::usage_text()); return 0;
    case command_line::request::action::version: console::write_line(command_line::version_text()); return 0;
    case command_line::request::action::misuse: {
      console::report("roster: " + request.problem);
      std::string usage = command_line::usage_text();
      usage.pop_back();  // report ends the line itself
      console::report(usage);
      return exit_status::misuse;
    }
    case command_line::request::action::run:
    case command_line::request::action::history:
    case command_line::request::action::restore: break;
  }
  if (!request.has_file) return run_program();
  std::unique_ptr<files::FileSystem> disk = files::make_system_file_system();
  if (request.what == command_line::request::action::history) return show_history(*disk, request.file);
  if (request.what == command_line::request::action::restore) {
    return restore_version(*disk, request.file, request.version_number);
  }
  roster_store store(*disk, request.file);
  roster* loaded = nullptr;
  if (int refused = store.open(loaded)) return refused;
  return run_program({.initial = loaded, .listener = &store});
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<console::Backend> backend = console::make_system_backend();
  console::install(backend.get());
  int status = run(argc, argv);
  // Item 0 and the third wrong password end the program as asked; the end of
  // the input, a refused file or a failed save do not.
  console::ending((status == 0 || status == 1) && !console::input_ended());
  console::install(nullptr);  // shows what is still buffered
  return status;
}
