// The driver's trace facility. Each class has one switch, a static TraceSwitch that is 0
// until someone turns it on; a disabled switch costs one relaxed load and formats nothing.
//
//   if (Trace::on(TRACE)) Trace::line("PickleContext", "patchLength at ", at, " = ", length);
//
// Lines go to the trace sink (standard error unless set otherwise), prefixed with the class.
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string_view>

namespace kelvor::jdbc {

using TraceSwitch = std::atomic<int32_t>;

class Trace {
 public:
  static bool on(const TraceSwitch& s) noexcept { return s.load(std::memory_order_relaxed) != 0; }

  template <typename... Parts>
  static void line(std::string_view cls, const Parts&... parts) {
    std::ostringstream text;
    (text << ... << parts);
    emit(cls, text.str());
  }
  // Writes one finished line to the sink, under the sink's lock.
  static void emit(std::string_view cls, std::string_view text);
  // The stream on which lines and dumps are printed; null restores standard error. The
  // caller keeps the stream alive while it is set.
  static void setSink(std::ostream* sink);
  // The current sink, for dumps that print several lines; hold sinkLock while printing.
  static std::ostream& sink();
  static void lockSink();
  static void unlockSink();
};

}  // namespace kelvor::jdbc
