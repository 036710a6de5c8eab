#include "driver/Trace.h"

#include <iostream>
#include <mutex>

namespace kelvor::jdbc {
namespace {

std::recursive_mutex& sinkMutex() {
  static std::recursive_mutex m;
  return m;
}
std::atomic<std::ostream*> currentSink{nullptr};

}  // namespace

void Trace::emit(std::string_view cls, std::string_view text) {
  std::lock_guard<std::recursive_mutex> hold(sinkMutex());
  sink() << cls << ": " << text << '\n';
}

void Trace::setSink(std::ostream* s) { currentSink.store(s, std::memory_order_release); }

std::ostream& Trace::sink() {
  std::ostream* s = currentSink.load(std::memory_order_acquire);
  return s != nullptr ? *s : std::cerr;
}

void Trace::lockSink() { sinkMutex().lock(); }
void Trace::unlockSink() { sinkMutex().unlock(); }

}  // namespace kelvor::jdbc
