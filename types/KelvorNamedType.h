// Base of the descriptors of named (user-defined) SQL types: object types, collection types,
// REFs and UPTs. Adds the SQL name and its schema and type parts, the connection, the
// enclosing object type (when the type is an attribute or element of another) and a slot for
// the driver's descriptor of the type.
//
// A descriptor made from a name knows it at once; one made under a parent asks the parent for
// its attribute's type name on first use and caches it. Thread rule: the name operations and
// setConnection hold the descriptor's monitor; the other getters and setters take no lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "lang/AtomicRef.h"
#include "lang/Monitor.h"
#include "types/KelvorType.h"

namespace kelvor::jdbc::kelcore {

class KelvorNamedType : public KelvorType {
 public:
  // Between schema and type in a qualified name; the first occurrence splits the name.
  static constexpr char NAME_SEPARATOR = '.';

  static const lang::SerialClass SERIAL_CLASS;
  static inline TraceSwitch TRACE{0};

  KelvorNamedType();
  KelvorNamedType(const std::string& sqlName, jdbc::Connection* connection);
  KelvorNamedType(KelvorTypeADT* parent, int32_t parentIndex, jdbc::Connection* connection);
  ~KelvorNamedType() override;

  // Stores the connection under the monitor.
  void setConnection(jdbc::Connection* connection) override;

  // --- virtual operations added here, in dispatch order ---
  virtual jdbc::Connection* getConnection() const;
  // The driver's descriptor kept for this type, or null. Not const: a collection makes and
  // keeps its descriptor on first use.
  virtual Ref<lang::Object> getDescriptor();
  // The SQL name, asked from the parent on first use; ERR_INTERNAL when it cannot be had.
  virtual std::string getSqlName();
  // As getSqlName(); when not strict, a name the parent cannot give without a fetch yields
  // nullopt and nothing is cached.
  virtual std::optional<std::string> getSqlName(bool strict);
  virtual int32_t getParentIndex() const;
  virtual KelvorTypeADT* getParent() const;
  // The schema part; nullopt when the name has no separator.
  virtual std::optional<std::string> getSchemaName();
  virtual std::string getTypeName();
  virtual bool isSqlNameKnown() const;
  // Whole-image operations; object and collection descriptors override them. Here:
  // ERR_UNSUPPORTED.
  virtual Ref<lang::ByteArray> toImage(lang::Object* value);
  virtual void setDescriptor(Ref<lang::Object> descriptor);
  virtual void setParentIndex(int32_t parentIndex);
  virtual void setParent(KelvorTypeADT* parent);
  virtual Ref<lang::Object> fromImage(const lang::ByteArray* image, int64_t offset,
                                      lang::Object* target, int32_t style,
                                      const jdbc::TypeMap* typeMap);
  virtual Ref<lang::Object> fromImage(const lang::ByteArray* image, int64_t offset,
                                      lang::Object* target, int64_t beginIndex, int32_t count,
                                      int32_t style, const jdbc::TypeMap* typeMap);

  const lang::SerialClass& serialClass() const noexcept override { return SERIAL_CLASS; }
  const char* className() const noexcept override { return "KelvorNamedType"; }

 protected:
  // The descriptor's reentrant monitor: held by the synchronized operations.
  lang::Monitor& monitor() const noexcept { return monitor_; }
  // Splits sqlName_ into schema and type at the first separator; call with the monitor held.
  void parseSqlName();

  jdbc::Connection* connection_ = nullptr;  // not owned: the connection outlives its descriptors
  // Set (release) only after the name and its parts are written, under the monitor; from then
  // on they do not change, so a thread that sees it set may read them without the monitor.
  std::atomic<bool> sqlNameKnown_{false};
  std::string sqlName_;                    // full SQL name, schema-qualified when it has one
  std::optional<std::string> schemaName_;  // before the separator; none without one
  std::string typeName_;                   // after the separator; the whole name without one
  KelvorTypeADT* parent_ = nullptr;        // enclosing object type; not owned
  int32_t parentIndex_ = 0;                // 1-based attribute position in parent_
  // The driver's descriptor of the type; not used here. Filled on first use by several
  // threads at once (a REF has no lock of its own), so loads and stores are atomic.
  lang::AtomicRef<lang::Object> descriptor_;

 private:
  void readSerialForm(lang::ObjectInputStream& in);
  void writeSerialForm(lang::ObjectOutputStream& out);
  static void serialReadHook(lang::Object& self, lang::ObjectInputStream& in);
  static void serialWriteHook(const lang::Object& self, lang::ObjectOutputStream& out);

  mutable lang::Monitor monitor_;
};

}  // namespace kelvor::jdbc::kelcore
