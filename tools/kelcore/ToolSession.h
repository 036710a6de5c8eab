// The type the tool works on, served the way a server would serve it: the TDS (with the
// layout description and the format descriptor) goes into an in-memory connection's catalog
// under one fixed name, and the descriptor is created by that name, so that the whole
// initialisation path runs (type-information call, format descriptor hand-over, TDS parse,
// layout). A TDS whose attribute list is a single opcode-28 entry describes a collection type,
// any other an object type.
//
// Not thread-safe: one session per command.
#pragma once

#include <cstdint>

#include "driver/ArrayDescriptor.h"
#include "driver/MemoryConnection.h"
#include "driver/ObjectDescriptor.h"
#include "lang/Array.h"
#include "lang/Ref.h"

namespace kelvor::jdbc::kelcore {
class KelvorTypeADT;
class KelvorTypeCOLLECTION;
}  // namespace kelvor::jdbc::kelcore

namespace kelvor::tools {

class ToolSession {
 public:
  // The name the type is served under.
  static constexpr const char* TYPE_NAME = "KELCORE.TOOL_TYPE";

  struct Inputs {
    lang::Ref<lang::ByteArray> tds;               // required
    lang::Ref<lang::ByteArray> layout;            // the linear layout description, or null
    lang::Ref<lang::ByteArray> formatDescriptor;  // null: the default format descriptor
  };

  // Serves the type and creates its descriptor; a TDS the driver refuses raises its error.
  explicit ToolSession(Inputs inputs);
  ~ToolSession();
  ToolSession(const ToolSession&) = delete;
  ToolSession& operator=(const ToolSession&) = delete;

  // Whether the TDS describes a collection type (by its first entry, before any parse).
  static bool describesCollection(const lang::ByteArray& tds);

  bool isCollection() const noexcept { return collection_ != nullptr; }
  // The root descriptor: the object type, or the collection type (which derives from it).
  jdbc::kelcore::KelvorTypeADT& type() const noexcept { return *type_; }
  // The collection type, or null for an object type.
  jdbc::kelcore::KelvorTypeCOLLECTION* collection() const noexcept { return collection_; }
  const lang::Ref<jdbc::ObjectDescriptor>& objectDescriptor() const noexcept { return object_; }
  const lang::Ref<jdbc::ArrayDescriptor>& arrayDescriptor() const noexcept { return array_; }
  jdbc::MemoryConnection& connection() const noexcept { return *connection_; }
  // The format descriptor in force (the given one or the default).
  const lang::Ref<lang::ByteArray>& formatDescriptor() const noexcept { return formatDescriptor_; }

 private:
  lang::Ref<jdbc::MemoryConnection> connection_;
  lang::Ref<lang::ByteArray> formatDescriptor_;
  lang::Ref<jdbc::ObjectDescriptor> object_;
  lang::Ref<jdbc::ArrayDescriptor> array_;
  jdbc::kelcore::KelvorTypeADT* type_ = nullptr;             // held by the descriptor
  jdbc::kelcore::KelvorTypeCOLLECTION* collection_ = nullptr;  // the same, when a collection
};

}  // namespace kelvor::tools
