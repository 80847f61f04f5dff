#include "textio/textio.h"

namespace varno {

// The run ends by unwinding to the main program, so that every file of the run is closed on the way (scatter
// files are deleted by their owners) before the stop code is reported.
[[noreturn]] void stopRun(int code) { throw StopRequest{code, {}}; }
[[noreturn]] void stopRun(int code, std::string detail) { throw StopRequest{code, std::move(detail)}; }

}  // namespace varno
