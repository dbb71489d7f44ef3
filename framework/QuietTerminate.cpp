// The terminate handler for GUI programs: ends the process at once. It stands in for the runtime's
// default handler, which writes the uncaught exception's demangled type to stderr (nobody sees it in
// a GUI program) and so links the whole demangler into a statically linked exe. Linked as an object,
// not from an archive, so the runtime's own definition is never pulled in.
#include <cstdlib>

namespace __gnu_cxx {

// The runtime's declaration is in <ext/...> headers we do not need; the signature is the one it calls.
[[noreturn]] void __verbose_terminate_handler();

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
