#include <memory>

#include "console/backend.h"
#include "console/console.h"
#include "frontend/menu.h"

int main() {
  std::unique_ptr<console::Backend> backend = console::make_system_backend();
  console::install(backend.get());
  int status = run_program();
  console::install(nullptr);  // shows what is still buffered
  return status;
}
