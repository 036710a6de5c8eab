// A connection for the scalar descriptor tests: a settable database character set id, and a
// switch that makes getDbCharsetId raise. Nothing else is served (statements raise
// ERR_UNSUPPORTED, the descriptor cache is empty). One thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "driver/Connection.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"

namespace kelvor::jdbc::kelcore::scalartest {

class TestConnection final : public Connection {
 public:
  explicit TestConnection(int16_t charsetId = 106) : charsetId_(charsetId) {}

  void setDbCharsetId(int16_t id) { charsetId_ = id; }
  void setCharsetFails(bool fails) { charsetFails_ = fails; }

  lang::Ref<Statement> prepareCall(const std::string&) override { unsupported(); }
  lang::Ref<Statement> prepareStatement(const std::string&) override { unsupported(); }
  lang::Ref<lang::Object> getDescriptor(const std::string&) override { return nullptr; }
  void putDescriptor(const std::string&, lang::Ref<lang::Object>) override {}
  lang::Ref<lang::ByteArray> getFormatDescriptor() override { return formatDescriptor_; }
  void setFormatDescriptor(lang::Ref<lang::ByteArray> fd) override { formatDescriptor_ = fd; }
  bool getFormatFlag() override { return false; }
  int64_t describeTypeProperty(const std::string&) override { return 0; }
  int16_t getDbCharsetId() override {
    if (charsetFails_) ErrorRaiser::raise(DriverException::ERR_INTERNAL, "no character set");
    return charsetId_;
  }

 private:
  [[noreturn]] static void unsupported() { ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED); }

  int16_t charsetId_;
  bool charsetFails_ = false;
  lang::Ref<lang::ByteArray> formatDescriptor_;
};

}  // namespace kelvor::jdbc::kelcore::scalartest
