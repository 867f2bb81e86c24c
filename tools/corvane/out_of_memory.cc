// Running out of memory ends a run with a message instead of std::terminate.
// Destroying a large report allocates (the JSON library frees nested values
// through a stack of its own), so a plain std::bad_alloc thrown while the report
// is built fails again during unwinding, inside a destructor. The handler below
// keeps a reserve that it gives back the first time memory runs out, so that
// unwinding can finish and the command prints the message and exits 2.
#include <cstdlib>
#include <new>

namespace corvane::cli {
namespace {

class OutOfMemory : public std::bad_alloc {
 public:
  const char* what() const noexcept override {
    return "out of memory: the run needs more memory than this process may use (a scenario "
           "with fewer items, or a larger memory limit, will fit)";
  }
};

constexpr std::size_t kReserveBytes = 64u << 20;
void* reserve = nullptr;

void GiveBackReserveAndThrow() {
  std::free(reserve);
  reserve = nullptr;
  throw OutOfMemory();
}

// Installed before main: every command of the tool builds JSON of its own size.
const bool installed = [] {
  reserve = std::malloc(kReserveBytes);
  std::set_new_handler(GiveBackReserveAndThrow);
  return true;
}();

}  // namespace
}  // namespace corvane::cli
